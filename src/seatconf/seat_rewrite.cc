#include "seatconf/seat_rewrite.h"

#include <cstring>

// How a line is read, kept in step with the key-file parser LightDM itself uses, so that what
// this program rewrites is what LightDM will act on:
//  1. Lines end at "\n"; carriage returns before it belong to the terminator.
//  2. A header is a line whose first byte after spaces and tabs is "[". It opens a seat section
//     when it reads "[Seat:*]" (or its old name "[SeatDefaults]") with only spaces and tabs
//     around it; any other header closes the section.
//  3. Inside a seat section a line is an autologin line when, after spaces and tabs, at most one
//     "#" and more spaces and tabs, it holds the key name, then spaces or tabs, then "=".
//  4. A line is classified once, by its first LINE_PIECE_MAX bytes, and is copied, replaced or
//     dropped whole, so an over-long line can neither leave a stray tail behind nor open or
//     close a section from its middle.

namespace {

constexpr char kUserKey[] = "autologin-user";
constexpr char kTimeoutKey[] = "autologin-user-timeout";
constexpr char kTimeoutLine[] = "autologin-user-timeout=0\n";
constexpr char kCommentedUserLine[] = "#autologin-user=\n";
constexpr char kCommentedTimeoutLine[] = "#autologin-user-timeout=0\n";
constexpr char kSeatHeaderLine[] = "[Seat:*]\n";

enum class LineKind { kSeatHeader, kOtherHeader, kUser, kTimeout, kOther };

/// A run of bytes that is not NUL-terminated.
struct Span {
  const char* data;
  std::size_t len;
};

/// The output buffer. Untouched input is not copied line by line: it stays pending from
/// |copy_from| and goes out in one piece when something else must be written after it. Once
/// something does not fit, the buffer counts as full and takes nothing more.
struct Output {
  char* buf;
  std::size_t cap;
  std::size_t len;
  bool overflow;
  const char* copy_from;
};

void emit(Output* out, const char* data, std::size_t len) {
  if (out->overflow) return;
  if (len > out->cap - out->len) {
    out->overflow = true;
    return;
  }
  if (len > 0) std::memcpy(out->buf + out->len, data, len);
  out->len += len;
}

template <std::size_t N>
void emit_literal(Output* out, const char (&text)[N]) {
  emit(out, text, N - 1);
}

void emit_user_line(Output* out, const char* user_name) {
  emit_literal(out, "autologin-user=");
  emit(out, user_name, std::strlen(user_name));
  emit_literal(out, "\n");
}

void emit_block(Output* out, const char* user_name, SeatRewriteState* state) {
  emit_user_line(out, user_name);
  emit_literal(out, kTimeoutLine);
  state->user_line_written = true;
  state->timeout_line_written = true;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

Span trim_blanks(Span s) {
  while (s.len > 0 && is_blank(s.data[0])) {
    ++s.data;
    --s.len;
  }
  while (s.len > 0 && is_blank(s.data[s.len - 1])) --s.len;
  return s;
}

template <std::size_t N>
bool equals(Span s, const char (&word)[N]) {
  return s.len == N - 1 && std::memcmp(s.data, word, N - 1) == 0;
}

/// Returns true if |s| starts with |key|, then optional blanks, then "=".
template <std::size_t N>
bool is_key(Span s, const char (&key)[N]) {
  if (s.len < N || s.data[0] != key[0] || std::memcmp(s.data, key, N - 1) != 0) return false;
  std::size_t i = N - 1;
  while (i < s.len && is_blank(s.data[i])) ++i;
  return i < s.len && s.data[i] == '=';
}

/// The part of a line that decides its kind: its first LINE_PIECE_MAX bytes.
Span classified_part(Span line) {
  return Span{line.data, line.len < LINE_PIECE_MAX ? line.len : LINE_PIECE_MAX};
}

/// |head| starts with "[" after blanks. The line terminator does not count as part of it.
LineKind classify_header(Span head) {
  while (head.len > 0 && (head.data[head.len - 1] == '\n' || head.data[head.len - 1] == '\r')) {
    --head.len;
  }
  Span header = trim_blanks(head);
  bool seat = equals(header, "[Seat:*]") || equals(header, "[SeatDefaults]");
  return seat ? LineKind::kSeatHeader : LineKind::kOtherHeader;
}

std::size_t skip_blanks(Span s, std::size_t i) {
  while (i < s.len && is_blank(s.data[i])) ++i;
  return i;
}

LineKind classify(Span line, bool in_seat_section) {
  Span head = classified_part(line);
  std::size_t i = skip_blanks(head, 0);
  if (i < head.len && head.data[i] == '[') return classify_header(head);
  if (!in_seat_section) return LineKind::kOther;
  if (i < head.len && head.data[i] == '#') i = skip_blanks(head, i + 1);
  // A line feed or carriage return after the key name is not "=", so the terminator needs no
  // stripping here.
  Span key{head.data + i, head.len - i};
  if (is_key(key, kUserKey)) return LineKind::kUser;
  if (is_key(key, kTimeoutKey)) return LineKind::kTimeout;
  return LineKind::kOther;
}

/// Writes out the untouched input from |copy_from| up to |upto|.
void flush_until(Output* out, const char* upto) {
  emit(out, out->copy_from, static_cast<std::size_t>(upto - out->copy_from));
  out->copy_from = upto;
}

/// Stops |line| from being copied: it is replaced by what is emitted now, or dropped.
void replace_line(Output* out, Span line) {
  flush_until(out, line.data);
  out->copy_from = line.data + line.len;
}

void rewrite_line(Span line, const AutologinRequest& request, SeatRewriteState* state,
                  Output* out) {
  switch (classify(line, state->in_seat_section)) {
    case LineKind::kSeatHeader:
      state->in_seat_section = true;
      break;
    case LineKind::kOtherHeader:
      if (state->in_seat_section && request.enable && !state->user_line_written) {
        flush_until(out, line.data);
        emit_block(out, request.user_name, state);
      }
      state->in_seat_section = false;
      break;
    case LineKind::kUser:
      replace_line(out, line);
      if (!request.enable) {
        emit_literal(out, kCommentedUserLine);
      } else if (!state->user_line_written) {
        emit_user_line(out, request.user_name);
        state->user_line_written = true;
      }
      break;
    case LineKind::kTimeout:
      replace_line(out, line);
      if (!request.enable) {
        emit_literal(out, kCommentedTimeoutLine);
      } else if (!state->timeout_line_written) {
        emit_literal(out, kTimeoutLine);
        state->timeout_line_written = true;
      }
      break;
    case LineKind::kOther:
      break;
  }
}

/// An enabled request that met no user line by the end of the text still gets one: in the
/// seat section that is open, or in a new one when the text has none.
void finish_text(Span text, const AutologinRequest& request, SeatRewriteState* state,
                 Output* out) {
  flush_until(out, text.data + text.len);
  if (!request.enable || state->user_line_written) return;
  if (text.len > 0 && text.data[text.len - 1] != '\n') emit_literal(out, "\n");
  if (!state->in_seat_section) emit_literal(out, kSeatHeaderLine);
  emit_block(out, request.user_name, state);
}

/// Returns the end of the line that holds |p|, past its line feed, or |limit|.
const char* line_end(const char* p, const char* limit) {
  const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(limit - p));
  return nl != nullptr ? static_cast<const char*>(nl) + 1 : limit;
}

/// Returns false if the line starting at |p| (before |end|) cannot be a header or an autologin
/// line, judged by its first two bytes: most lines of a section are passed over this way.
bool may_matter(const char* p, const char* end) {
  char c = *p;
  if (c == '#') c = p + 1 < end ? p[1] : '\n';
  return c == 'a' || c == '[' || is_blank(c);
}

/// Returns the start of the first line at or after the line start |pos| that can be a header,
/// or |end|. Only a line whose first byte after blanks is "[" can be one, so whole runs of lines
/// are passed over by looking for that "[".
const char* next_header_line(const char* text, const char* pos, const char* end) {
  while (pos < end) {
    const char* bracket =
        static_cast<const char*>(std::memchr(pos, '[', static_cast<std::size_t>(end - pos)));
    if (bracket == nullptr) return end;
    const char* start = bracket;
    while (start > text && is_blank(start[-1])) --start;
    bool starts_line = start == text || start[-1] == '\n';
    if (starts_line && static_cast<std::size_t>(bracket - start) < LINE_PIECE_MAX) return start;
    pos = bracket + 1;
  }
  return end;
}

}  // namespace

int rewrite_seat_section(const char* text, std::size_t len, const AutologinRequest& request,
                         char* out, std::size_t cap, std::size_t* out_len) {
  SeatRewriteState state{false, false, false};
  Output output{out, cap, 0, false, text};
  const char* end = text + len;
  for (const char* pos = text; pos < end;) {
    // Outside a seat section only a header matters.
    if (!state.in_seat_section) pos = next_header_line(text, pos, end);
    if (pos == end) break;
    const char* next = line_end(pos, end);
    if (may_matter(pos, end)) {
      rewrite_line(Span{pos, static_cast<std::size_t>(next - pos)}, request, &state, &output);
    }
    pos = next;
  }
  finish_text(Span{text, len}, request, &state, &output);
  *out_len = output.overflow ? 0 : output.len;
  return output.overflow ? 1 : 0;
}
