#include "gates/pam_stack.h"

#include <cstdio>
#include <cstring>

#include <sys/mman.h>
#include <sys/stat.h>

#include "common/read_whole.h"
#include "common/unique_fd.h"

// LightDM writes ~/.Xauthority after PAM's session stack has run, so a stack that surely runs
// pam_mkhomedir makes a missing home in time. The service's files are read as libpam reads
// them: a backslash at the end of a line joins the next one, "#" starts a comment anywhere,
// the first field is the type (case does not matter; "-" in front only says a missing module
// is passed over), then the control ("[...]" may hold blanks), then the module, or the file for
// "include" and "substack". "@include FILE" reads FILE whole, in place.
//
// libpam runs the lines in that order. A line goes on to the next, jumps forward by its
// "value=N", or ends the stack ("done", "die"). What a module returns is known for two:
// pam_permit always succeeds and pam_deny always fails; any other may return anything its
// control names. The home is made only where no line that may run before pam_mkhomedir can
// end the stack or jump past it: otherwise it cannot be told. Included lines count one by one;
// a substack counts as one line for a jump from outside it, and its own ends and jumps stop at
// its end (pam.conf(5)).
// Only what can be read for certain counts: a file too large, a name that is not a plain file
// name in the directory, or files and lines beyond the bounds make no home.

namespace {

/// The largest service file read, the deepest nesting of includes, the most files and module
/// lines read in all (a file included twice is read twice).
constexpr std::size_t kFileMax = 32768;
constexpr int kDepthMax = 8;
constexpr int kFilesMax = 32;
constexpr int kLinesMax = 256;
constexpr std::size_t kNameMax = 255;
/// The most outcomes one line can name: libpam knows about 30 return values.
constexpr int kActionsMax = 32;

/// An action: 0 goes on to the next line, N > 0 jumps over N lines, kEnd ends the stack (or
/// is not understood, which is taken the same way).
constexpr short kEnd = -1;
/// "value=" not given in a bracket control.
constexpr short kUnset = -2;

enum class Module { kOther, kPermit, kDeny, kMkhomedir };

/// One module line, with every action it may take; or the start of a substack.
struct Line {
  short actions[kActionsMax];
  int count;
  bool makes_home;
  /// For the start of a substack: the index past its last line; otherwise -1.
  int block_end;
  /// The index past the last line of the substack the line is in (the stack's end: -1).
  int level_end;
  int file;
  unsigned number;
};

struct Walk {
  const char* dir;
  int files;
  bool overflow;
  char names[kFilesMax][kNameMax + 1];
  int count;
  Line lines[kLinesMax];
  // One buffer per depth: a file's rest stays while what it includes is read.
  char text[kDepthMax + 1][kFileMax];
};

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/// Returns true if |name| (|len| bytes) is a file name that stays in the directory.
bool is_plain_name(const char* name, std::size_t len) {
  if (len == 0 || len > kNameMax || name[0] == '.') return false;
  for (std::size_t i = 0; i < len; ++i) {
    if (name[i] == '/' || name[i] == '\0') return false;
  }
  return true;
}

/// Returns true if |module| (|len| bytes) names the module file |file|, by a path or alone.
bool names_module(const char* module, std::size_t len, const char* file) {
  const std::size_t n = std::strlen(file);
  return len >= n && std::memcmp(module + len - n, file, n) == 0 &&
         (len == n || module[len - n - 1] == '/');
}

Module module_of(const char* module, std::size_t len) {
  if (names_module(module, len, "pam_mkhomedir.so")) return Module::kMkhomedir;
  if (names_module(module, len, "pam_permit.so")) return Module::kPermit;
  if (names_module(module, len, "pam_deny.so")) return Module::kDeny;
  return Module::kOther;
}

bool same_word(const char* word, std::size_t len, const char* text) {
  if (std::strlen(text) != len) return false;
  for (std::size_t i = 0; i < len; ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != text[i]) return false;
  }
  return true;
}

/// Cuts the next field off |*p| (up to |end|); a field that starts with "[" runs to "]".
/// Returns false when there is none.
bool next_field(const char** p, const char* end, const char** field, std::size_t* len) {
  while (*p < end && is_blank(**p)) ++*p;
  if (*p == end) return false;
  const char* start = *p;
  if (*start == '[') {
    while (*p < end && **p != ']') ++*p;
    if (*p < end) ++*p;
  } else {
    while (*p < end && !is_blank(**p)) ++*p;
  }
  *field = start;
  *len = static_cast<std::size_t>(*p - start);
  return true;
}

/// Returns the action |word| (|len| bytes) of a bracket control stands for.
short action_of(const char* word, std::size_t len) {
  if (same_word(word, len, "ok") || same_word(word, len, "bad") ||
      same_word(word, len, "ignore") || same_word(word, len, "reset")) {
    return 0;
  }
  if (len == 0 || len > 3) return kEnd;
  short jump = 0;
  for (std::size_t i = 0; i < len; ++i) {
    if (word[i] < '0' || word[i] > '9') return kEnd;
    jump = static_cast<short>(jump * 10 + (word[i] - '0'));
  }
  return jump > 0 ? jump : kEnd;
}

void add_action(Line* line, short action) {
  for (int i = 0; i < line->count; ++i) {
    if (line->actions[i] == action) return;
  }
  if (line->count == kActionsMax) {
    line->actions[kActionsMax - 1] = kEnd;
    return;
  }
  line->actions[line->count++] = action;
}

/// Fills the actions of |line|, a line of |module| with the bracket control |control| (|len|
/// bytes, the brackets included). Unset values take "default", and that is "bad".
void bracket_actions(const char* control, std::size_t len, Module module, Line* line) {
  short success = kUnset;
  short failure = kUnset;
  short fallback = 0;
  const char* p = control + 1;
  const char* end = control + len - (control[len - 1] == ']' ? 1 : 0);
  const char* word = nullptr;
  std::size_t word_len = 0;
  Line named{};
  while (next_field(&p, end, &word, &word_len)) {
    const char* eq = static_cast<const char*>(std::memchr(word, '=', word_len));
    if (eq == nullptr) {
      add_action(&named, kEnd);
      continue;
    }
    const auto key_len = static_cast<std::size_t>(eq - word);
    const short action = action_of(eq + 1, word_len - key_len - 1);
    if (same_word(word, key_len, "default")) {
      fallback = action;
    } else {
      if (same_word(word, key_len, "success")) success = action;
      // What pam_deny's session functions return.
      if (same_word(word, key_len, "session_err")) failure = action;
      add_action(&named, action);
    }
  }
  switch (module) {
    case Module::kPermit: add_action(line, success != kUnset ? success : fallback); return;
    case Module::kDeny: add_action(line, failure != kUnset ? failure : fallback); return;
    default:
      for (int i = 0; i < named.count; ++i) add_action(line, named.actions[i]);
      add_action(line, fallback);
      return;
  }
}

/// Fills the actions of |line|, a line of |module| with the control |control| (|len| bytes).
void control_actions(const char* control, std::size_t len, Module module, Line* line) {
  if (control[0] == '[') {
    bracket_actions(control, len, module, line);
    return;
  }
  // The keywords as libpam spells them out: what success does, and what anything else does.
  struct Keyword {
    const char* word;
    short success;
    short failure;
  };
  static constexpr Keyword kKeywords[] = {
      {"required", 0, 0}, {"requisite", 0, kEnd}, {"sufficient", kEnd, 0}, {"optional", 0, 0}};
  for (const Keyword& keyword : kKeywords) {
    if (!same_word(control, len, keyword.word)) continue;
    if (module != Module::kDeny) add_action(line, keyword.success);
    if (module != Module::kPermit) add_action(line, keyword.failure);
    return;
  }
  add_action(line, kEnd);
}

/// Adds one module line of the file |file|, line |number|, to the walk.
void add_line(Walk* walk, const char* control, std::size_t len, Module module, bool may_be_missing,
              int file, unsigned number) {
  if (walk->count == kLinesMax) {
    walk->overflow = true;
    return;
  }
  Line& line = walk->lines[walk->count++];
  line = Line{};
  line.block_end = -1;
  line.level_end = -1;
  line.file = file;
  line.number = number;
  // "-session" lets libpam pass the module over where it is not installed: such a line cannot
  // promise a home, and may simply go on.
  line.makes_home = module == Module::kMkhomedir && !may_be_missing;
  if (line.makes_home) return;
  control_actions(control, len, module, &line);
  if (may_be_missing) add_action(&line, 0);
}

bool walk_file(Walk* walk, const char* name, std::size_t name_len, int depth);

/// Reads one logical line (comment cut off) of the file |file|, line |number|: adds its module
/// line, or walks the file it hands on to, in place.
void scan_line(Walk* walk, const char* line, const char* end, int file, unsigned number,
               int depth) {
  const char* p = line;
  const char* type = nullptr;
  std::size_t type_len = 0;
  if (!next_field(&p, end, &type, &type_len)) return;
  const char* field = nullptr;
  std::size_t len = 0;
  if (same_word(type, type_len, "@include")) {
    if (next_field(&p, end, &field, &len)) walk_file(walk, field, len, depth + 1);
    return;
  }
  const bool may_be_missing = type_len > 0 && type[0] == '-';
  if (may_be_missing) {
    ++type;
    --type_len;
  }
  const char* control = nullptr;
  std::size_t control_len = 0;
  if (!same_word(type, type_len, "session") || !next_field(&p, end, &control, &control_len) ||
      !next_field(&p, end, &field, &len)) {
    return;
  }
  if (same_word(control, control_len, "include")) {
    walk_file(walk, field, len, depth + 1);
  } else if (same_word(control, control_len, "substack")) {
    add_line(walk, "required", 8, Module::kOther, false, file, number);
    if (walk->overflow) return;
    const int start = walk->count - 1;
    walk_file(walk, field, len, depth + 1);
    walk->lines[start].block_end = walk->count;
    for (int i = start + 1; i < walk->count; ++i) {
      if (walk->lines[i].level_end < 0) walk->lines[i].level_end = walk->count;
    }
  } else {
    add_line(walk, control, control_len, module_of(field, len), may_be_missing, file, number);
  }
}

/// Reads the file |path| into |buf|. Returns the bytes, or -1.
long read_service_file(const char* path, char* buf) {
  UniqueFd fd(open_to_read(path));
  struct stat st {};
  std::size_t len = 0;
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      read_whole(fd.get(), buf, kFileMax, &len) != 0) {
    return -1;
  }
  return static_cast<long>(len);
}

/// Adds the module lines of the service file |name| (|name_len| bytes) to the walk, in order.
/// Returns false, and marks the walk, when it cannot be read for certain.
bool walk_file(Walk* walk, const char* name, std::size_t name_len, int depth) {
  if (depth > kDepthMax || walk->files == kFilesMax || !is_plain_name(name, name_len)) {
    walk->overflow = true;
    return false;
  }
  const int file = walk->files++;
  std::memcpy(walk->names[file], name, name_len);
  walk->names[file][name_len] = '\0';
  char path[4096];
  const int n = std::snprintf(path, sizeof path, "%s/%s", walk->dir, walk->names[file]);
  char* text = walk->text[depth];
  const long got = n < 0 || static_cast<std::size_t>(n) >= sizeof path
                       ? -1
                       : read_service_file(path, text);
  if (got < 0) {
    walk->overflow = true;
    return false;
  }
  const auto len = static_cast<std::size_t>(got);
  unsigned number = 1;
  const char* end = text + len;
  for (const char* line = text; line < end && !walk->overflow;) {
    // A backslash before the line feed joins the next line: the logical line keeps the number
    // of its first.
    const char* stop = line;
    unsigned joined = 0;
    while (stop < end && *stop != '\n') ++stop;
    while (stop < end && stop > line && stop[-1] == '\\') {
      text[stop - 1 - text] = ' ';
      text[stop - text] = ' ';
      ++joined;
      while (stop < end && *stop != '\n') ++stop;
    }
    const auto content = static_cast<std::size_t>(stop - line);
    const char* hash = static_cast<const char*>(std::memchr(line, '#', content));
    scan_line(walk, line, hash != nullptr ? hash : stop, file, number, depth);
    number += joined + 1;
    line = stop + 1;
  }
  return !walk->overflow;
}

/// Returns where |action| of the line at |i| leads: the index of the next line that runs, or
/// |n| for the stack's end.
int lands_at(const Walk& walk, int i, short action) {
  const int n = walk.count;
  const int level_end = walk.lines[i].level_end < 0 ? n : walk.lines[i].level_end;
  if (action == kEnd) return level_end;
  int to = i + 1;
  for (short step = 0; step < action && to < level_end; ++step) {
    to = walk.lines[to].block_end >= 0 ? walk.lines[to].block_end : to + 1;
  }
  return to < level_end ? to : level_end;
}

/// Judges the walked stack: whether every way through it runs a line that makes the home.
StackHome judge(const Walk& walk) {
  StackHome home{};
  home.state = StackHome::kNoHome;
  const int n = walk.count;
  if (walk.overflow) return home;
  // next[i]: the first line at i or later that makes the home (n: none).
  int next[kLinesMax + 1];
  next[n] = n;
  for (int i = n - 1; i >= 0; --i) next[i] = walk.lines[i].makes_home ? i : next[i + 1];
  if (next[0] == n) return home;
  home.state = StackHome::kMakesHome;
  bool reached[kLinesMax + 1] = {};
  reached[0] = true;
  for (int i = 0; i < n; ++i) {
    const Line& line = walk.lines[i];
    if (!reached[i] || line.makes_home) continue;
    if (line.block_end >= 0) {  // a substack starts: its first line runs
      reached[i + 1] = true;
      continue;
    }
    for (int a = 0; a < line.count; ++a) {
      const int to = lands_at(walk, i, line.actions[a]);
      // Ending the stack, or landing past a line that makes the home, passes it over.
      if (next[i + 1] < n && to > next[i + 1]) {
        home.state = StackHome::kCannotTell;
        std::snprintf(home.path, sizeof home.path, "%s/%s", walk.dir, walk.names[line.file]);
        home.line = line.number;
        return home;
      }
      reached[to] = true;
    }
  }
  return home;
}

}  // namespace

StackHome session_stack_home_in(const char* pam_dir, const char* service) {
  // A third of a megabyte, mapped only by a run that follows a stack: a plain disable or status
  // keeps its address space small for a caller's RLIMIT_AS.
  static Walk* room = nullptr;
  if (room == nullptr) {
    void* mapped = mmap(nullptr, sizeof(Walk), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return StackHome{StackHome::kNoHome, {}, 0};
    room = static_cast<Walk*>(mapped);
  }
  Walk& walk = *room;
  walk.dir = pam_dir;
  walk.files = 0;
  walk.count = 0;
  walk.overflow = false;
  walk_file(&walk, service, std::strlen(service), 0);
  return judge(walk);
}

StackHome session_stack_home(const char* service) {
  return session_stack_home_in(PAM_CONFIG_DIR, service);
}
