#include "seatconf/seat_rewrite.h"

#include <cstring>

#include "lightdm/keyfile_line.h"
#include "lightdm/line_cursor.h"
#include "lightdm/source_scan.h"

// Lines are classified by the same rules LightDM loads the file with (lightdm/keyfile_line),
// so that what this program rewrites is what LightDM acts on:
//  1. A seat section starts at the group "[Seat:*]" or its old name "[SeatDefaults]", written
//     however GLib accepts it; any other group ends it.
//  2. Inside it, a key line whose key is exactly "autologin-user" or "autologin-user-timeout" is
//     an autologin line, and so is a comment of one "#" followed by such a key and "=".
//  3. A line is judged whole, however long it is, and is copied, replaced or dropped whole.
//  4. Untouched bytes are not copied line by line: they go out in one piece when something
//     else must follow them, and not at all when nothing changes.

namespace {

constexpr char kUserKey[] = "autologin-user";
constexpr char kTimeoutKey[] = "autologin-user-timeout";
constexpr char kUserPrefix[] = "autologin-user=";
constexpr char kTimeoutLine[] = "autologin-user-timeout=0\n";
constexpr char kEmptyUserLine[] = "autologin-user=\n";
constexpr char kCommentedUserLine[] = "#autologin-user=\n";
constexpr char kCommentedTimeoutLine[] = "#autologin-user-timeout=0\n";
constexpr char kSeatHeaderLine[] = "[Seat:*]\n";

enum class LineRole { kSeatHeader, kOtherHeader, kUser, kTimeout, kOther };

template <std::size_t N>
constexpr Span literal(const char (&text)[N]) {
  return Span{text, N - 1};
}

struct Output {
  char* buf;
  std::size_t cap;
  std::size_t len;
  bool overflow;
  /// The first input byte not yet written out.
  const char* copy_from;
  /// The new text differs from the input.
  bool edited;
  SourceScan* scan;
};

void put(Output* out, Span s) {
  if (out->overflow) return;
  if (s.len > out->cap - out->len) {
    out->overflow = true;
    return;
  }
  if (s.len > 0) std::memcpy(out->buf + out->len, s.data, s.len);
  out->len += s.len;
}

/// Writes out the untouched input up to |upto| and marks the text as edited from there on.
void start_edit(Output* out, const char* upto) {
  put(out, Span{out->copy_from, static_cast<std::size_t>(upto - out->copy_from)});
  out->copy_from = upto;
  out->edited = true;
}

/// Writes one new line made of |a|, |b| and |c| and hands it to the scan as line |number|.
void put_line(Output* out, unsigned number, Span a, Span b = Span{nullptr, 0},
              Span c = Span{nullptr, 0}) {
  std::size_t start = out->len;
  put(out, a);
  put(out, b);
  put(out, c);
  if (out->scan != nullptr && !out->overflow) {
    Span content{out->buf + start, out->len - start - 1};  // without its line feed
    scan_line(out->scan, classify_keyfile_line(content), number);
  }
}

/// Returns true if |s| starts with |prefix|; an empty prefix may have no bytes at all.
bool starts_with(const char* s, Span prefix) {
  return prefix.len == 0 || std::memcmp(s, prefix.data, prefix.len) == 0;
}

bool raw_is(Span raw, Span a, Span b, Span c) {
  return raw.len == a.len + b.len + c.len && starts_with(raw.data, a) &&
         starts_with(raw.data + a.len, b) && starts_with(raw.data + a.len + b.len, c);
}

/// Puts the line |a| |b| |c| in place of |line|, unless |line| already reads so.
void replace_line(Output* out, const TextLine& line, const KeyFileLine& kind, Span a,
                  Span b = Span{nullptr, 0}, Span c = Span{nullptr, 0}) {
  if (raw_is(line.raw, a, b, c)) {
    if (out->scan != nullptr) scan_line(out->scan, kind, line.number);
    return;
  }
  start_edit(out, line.raw.data);
  out->copy_from = line.raw.data + line.raw.len;
  put_line(out, line.number, a, b, c);
}

void drop_line(Output* out, const TextLine& line) {
  start_edit(out, line.raw.data);
  out->copy_from = line.raw.data + line.raw.len;
}

void put_user_line(Output* out, unsigned number, const char* user) {
  put_line(out, number, literal(kUserPrefix), Span{user, std::strlen(user)}, literal("\n"));
}

/// Returns true if |s| starts with |key|, then blanks, then "=".
template <std::size_t N>
bool starts_with_key(Span s, const char (&key)[N]) {
  if (s.len < N || std::memcmp(s.data, key, N - 1) != 0) return false;
  std::size_t i = N - 1;
  while (i < s.len && is_keyfile_space(s.data[i])) ++i;
  return i < s.len && s.data[i] == '=';
}

/// A comment line that holds a switched-off autologin line: blanks, one "#", blanks, the key.
LineRole commented_role(Span content) {
  std::size_t i = 0;
  while (is_keyfile_space(content.data[i])) ++i;  // a comment has a "#" after its blanks
  ++i;
  while (i < content.len && is_keyfile_space(content.data[i])) ++i;
  if (i == content.len || content.data[i] != 'a') return LineRole::kOther;
  Span rest{content.data + i, content.len - i};
  if (starts_with_key(rest, kUserKey)) return LineRole::kUser;
  if (starts_with_key(rest, kTimeoutKey)) return LineRole::kTimeout;
  return LineRole::kOther;
}

LineRole role_of(const KeyFileLine& line, Span content, bool in_seat_section) {
  switch (line.kind) {
    case KeyFileLineKind::kGroup:
      return span_equals(line.name, "Seat:*") || span_equals(line.name, "SeatDefaults")
                 ? LineRole::kSeatHeader
                 : LineRole::kOtherHeader;
    case KeyFileLineKind::kKeyValue:
      if (!in_seat_section) return LineRole::kOther;
      if (span_equals(line.name, kUserKey)) return LineRole::kUser;
      if (span_equals(line.name, kTimeoutKey)) return LineRole::kTimeout;
      return LineRole::kOther;
    case KeyFileLineKind::kComment:
      return in_seat_section ? commented_role(content) : LineRole::kOther;
    default:
      return LineRole::kOther;
  }
}

/// True when the section that ends now still owes its user line.
bool owes_user_line(const AutologinRequest& request, const RewriteOptions& options,
                    const SeatRewriteState& state) {
  return (request.enable || options.empty_user_line) && !state.user_line_written;
}

/// What a seat section that ends without a user line gets at its end.
void put_block(Output* out, unsigned number, const AutologinRequest& request,
               SeatRewriteState* state) {
  if (request.enable) {
    put_user_line(out, number, request.user_name);
    put_line(out, number, literal(kTimeoutLine));
    state->timeout_line_written = true;
  } else {
    put_line(out, number, literal(kEmptyUserLine));
  }
  state->user_line_written = true;
}

void rewrite_user_line(Output* out, const TextLine& line, const KeyFileLine& kind,
                       const AutologinRequest& request, const RewriteOptions& options,
                       SeatRewriteState* state) {
  if (!request.enable) {
    if (options.empty_user_line && !state->user_line_written) {
      replace_line(out, line, kind, literal(kEmptyUserLine));
      state->user_line_written = true;
    } else {
      replace_line(out, line, kind, literal(kCommentedUserLine));
    }
    return;
  }
  if (state->user_line_written) {
    drop_line(out, line);
    return;
  }
  const char* user = request.user_name;
  replace_line(out, line, kind, literal(kUserPrefix), Span{user, std::strlen(user)},
               literal("\n"));
  state->user_line_written = true;
  if (options.timeout_with_user && !state->timeout_line_written) {
    start_edit(out, line.raw.data + line.raw.len);
    put_line(out, line.number, literal(kTimeoutLine));
    state->timeout_line_written = true;
  }
}

void rewrite_timeout_line(Output* out, const TextLine& line, const KeyFileLine& kind,
                          const AutologinRequest& request, SeatRewriteState* state) {
  if (!request.enable) {
    replace_line(out, line, kind, literal(kCommentedTimeoutLine));
  } else if (state->timeout_line_written) {
    drop_line(out, line);
  } else {
    replace_line(out, line, kind, literal(kTimeoutLine));
    state->timeout_line_written = true;
  }
}

void rewrite_line(Output* out, const TextLine& line, const AutologinRequest& request,
                  const RewriteOptions& options, SeatRewriteState* state) {
  KeyFileLine kind = classify_keyfile_line(line.content);
  switch (role_of(kind, line.content, state->in_seat_section)) {
    case LineRole::kSeatHeader:
      state->in_seat_section = true;
      break;
    case LineRole::kOtherHeader:
      if (state->in_seat_section && owes_user_line(request, options, *state)) {
        start_edit(out, line.raw.data);
        put_block(out, line.number, request, state);
      }
      state->in_seat_section = false;
      break;
    case LineRole::kUser:
      rewrite_user_line(out, line, kind, request, options, state);
      return;
    case LineRole::kTimeout:
      rewrite_timeout_line(out, line, kind, request, state);
      return;
    case LineRole::kOther:
      break;
  }
  if (out->scan != nullptr) scan_line(out->scan, kind, line.number);
}

/// Returns the number of lines in |text|.
unsigned count_lines(Span text) {
  unsigned lines = 0;
  for (std::size_t i = 0; i < text.len; ++i) lines += text.data[i] == '\n' ? 1 : 0;
  return text.len > 0 && text.data[text.len - 1] != '\n' ? lines + 1 : lines;
}

/// A request that still owes its user line at the end of the text gets it there: in the seat
/// section that is open, or in a new one. It starts on a line of its own, and the line before
/// it keeps its meaning.
void finish_text(Output* out, Span text, const AutologinRequest& request,
                 const RewriteOptions& options, SeatRewriteState* state) {
  if (!owes_user_line(request, options, *state)) return;
  unsigned last_number = count_lines(text);
  start_edit(out, text.data + text.len);
  // A last line without a line feed keeps its carriage return: a line feed right after it would
  // turn that carriage return into part of the terminator, and the line into another one.
  if (out->len > 0 && out->buf[out->len - 1] == '\r') {
    put(out, literal("\r\n"));
  } else if (out->len > 0 && out->buf[out->len - 1] != '\n') {
    put(out, literal("\n"));
  }
  if (!state->in_seat_section) put_line(out, last_number + 1, literal(kSeatHeaderLine));
  put_block(out, last_number + 1, request, state);
}

}  // namespace

int rewrite_seat_section(Span text, const AutologinRequest& request,
                         const RewriteOptions& options, char* out, std::size_t cap,
                         Span* result, SourceScan* scan) {
  SeatRewriteState state{false, false, false};
  Output output{out, cap, 0, false, text.data, false, scan};
  LineCursor cursor(text.data, text.len);
  TextLine line{};
  // Most lines of a configuration are comments, which neither LightDM nor the scan reads;
  // inside a seat section, one that may hold a switched-off autologin line needs a look.
  while (cursor.next(&line, state.in_seat_section ? LineSkip::kCommentsButKeys
                                                  : LineSkip::kComments)) {
    rewrite_line(&output, line, request, options, &state);
  }
  finish_text(&output, text, request, options, &state);
  if (!output.edited) {
    *result = text;
    return text.len > cap ? 1 : 0;
  }
  start_edit(&output, text.data + text.len);
  *result = Span{out, output.len};
  return output.overflow ? 1 : 0;
}
