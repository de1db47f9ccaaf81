#include "gates/pam_stack.h"

#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "common/read_whole.h"
#include "common/unique_fd.h"

// LightDM writes ~/.Xauthority after PAM's session stack has run, so a stack with pam_mkhomedir
// makes a missing home in time. Whether it does is read from the service's files as libpam
// reads them: a backslash at the end of a line joins the next one, "#" starts a comment
// anywhere, the first field is the type (case does not matter; "-" in front only says a
// missing module is passed over), then the control ("[...]" may hold blanks), then the
// module, or the file for "include" and "substack". "@include FILE" reads FILE whole. Only what
// can be read for certain counts: a file too large, a name that is not a plain file name in the
// directory, or includes beyond the bounds make no home, so a doubtful stack never excuses a
// missing home.

namespace {

/// The largest service file read, the deepest nesting of includes and the most files read in
/// all (a file included twice is read twice).
constexpr std::size_t kFileMax = 32768;
constexpr int kDepthMax = 8;
constexpr int kFilesMax = 32;
constexpr std::size_t kNameMax = 255;
constexpr int kIncludesMax = 16;

struct Walk {
  const char* dir;
  int files;
  char text[kFileMax];
};

/// The files one service file hands on to.
struct Includes {
  char names[kIncludesMax][kNameMax + 1];
  int count;
  bool overflow;
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

/// Returns true if |module| (|len| bytes) names pam_mkhomedir, by a path or by its file name.
bool is_mkhomedir(const char* module, std::size_t len) {
  static constexpr char kModule[] = "pam_mkhomedir.so";
  constexpr std::size_t n = sizeof kModule - 1;
  return len >= n && std::memcmp(module + len - n, kModule, n) == 0 &&
         (len == n || module[len - n - 1] == '/');
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

void add_include(Includes* includes, const char* name, std::size_t len) {
  if (!is_plain_name(name, len) || includes->count == kIncludesMax) {
    includes->overflow = true;
    return;
  }
  std::memcpy(includes->names[includes->count], name, len);
  includes->names[includes->count++][len] = '\0';
}

/// Reads one logical line (comment cut off). Returns true if it runs pam_mkhomedir in the
/// session stack; adds the files it hands on to |includes|.
bool scan_line(const char* line, const char* end, Includes* includes) {
  const char* p = line;
  const char* type = nullptr;
  std::size_t type_len = 0;
  if (!next_field(&p, end, &type, &type_len)) return false;
  const char* field = nullptr;
  std::size_t len = 0;
  if (same_word(type, type_len, "@include")) {
    if (next_field(&p, end, &field, &len)) add_include(includes, field, len);
    return false;
  }
  // "-session" lets libpam pass the module over where it is not installed: such a line cannot
  // promise a home.
  const bool may_be_missing = type_len > 0 && type[0] == '-';
  if (may_be_missing) {
    ++type;
    --type_len;
  }
  if (!same_word(type, type_len, "session") || !next_field(&p, end, &field, &len)) return false;
  const bool hands_on = same_word(field, len, "include") || same_word(field, len, "substack");
  if (!next_field(&p, end, &field, &len)) return false;
  if (hands_on) {
    add_include(includes, field, len);
    return false;
  }
  return !may_be_missing && is_mkhomedir(field, len);
}

/// Reads the file |name| of the walk's directory into its buffer. Returns the bytes, or -1.
long read_service_file(Walk* walk, const char* name) {
  char path[4096];
  const int n = std::snprintf(path, sizeof path, "%s/%s", walk->dir, name);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) return -1;
  UniqueFd fd(open_to_read(path));
  struct stat st {};
  std::size_t len = 0;
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      read_whole(fd.get(), walk->text, sizeof walk->text, &len) != 0) {
    return -1;
  }
  return static_cast<long>(len);
}

/// Returns true if the service file |name| runs pam_mkhomedir in its session stack.
bool file_makes_home(Walk* walk, const char* name, int depth) {
  if (depth > kDepthMax || ++walk->files > kFilesMax) return false;
  const long got = read_service_file(walk, name);
  if (got < 0) return false;
  const auto len = static_cast<std::size_t>(got);
  // Continued lines are joined in place: the backslash and the line feed become blanks.
  for (std::size_t i = 0; i + 1 < len; ++i) {
    if (walk->text[i] == '\\' && walk->text[i + 1] == '\n') walk->text[i] = walk->text[i + 1] = ' ';
  }
  Includes includes{};
  const char* end = walk->text + len;
  for (const char* line = walk->text; line < end;) {
    const auto rest = static_cast<std::size_t>(end - line);
    const char* stop = static_cast<const char*>(std::memchr(line, '\n', rest));
    if (stop == nullptr) stop = end;
    const auto content = static_cast<std::size_t>(stop - line);
    const char* hash = static_cast<const char*>(std::memchr(line, '#', content));
    if (scan_line(line, hash != nullptr ? hash : stop, &includes)) return true;
    line = stop + 1;
  }
  if (includes.overflow) return false;
  // The buffer is reused by each include: what this file hands on was copied out above.
  for (int i = 0; i < includes.count; ++i) {
    if (file_makes_home(walk, includes.names[i], depth + 1)) return true;
  }
  return false;
}

}  // namespace

bool session_stack_makes_home_in(const char* pam_dir, const char* service) {
  static Walk walk;
  walk.dir = pam_dir;
  walk.files = 0;
  return is_plain_name(service, std::strlen(service)) && file_makes_home(&walk, service, 0);
}

bool session_stack_makes_home(const char* service) {
  return session_stack_makes_home_in(PAM_CONFIG_DIR, service);
}
