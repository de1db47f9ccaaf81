#include "seatconf/file_attributes.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include <sys/types.h>
#include <sys/xattr.h>

#include "common/message_queue.h"
#include "common/quote.h"
#include "common/words.h"

// The new file must be the old one with new text: the same readers, the same label. An
// administrator's ACL, an SELinux or Smack label and user.* notes are copied, through the two
// descriptors, never the paths. What cannot be copied refuses the change before anything is in
// place: a file that quietly lost its label or its ACL is worse than a refusal.
//  1. The ACL goes first, then the caller sets the mode (old mode & 0644). chmod sets an ACL's
//     mask from the group bits, and the mask bounds every named entry, so no one gains a right
//     over the old file. Without an ACL on the old file, the one the new file inherited from
//     its directory's default ACL is removed.
//  2. The kernel computes or binds three security.* attributes to the file itself, and they
//     are never copied: security.ima (a hash of the content, which changed), security.evm (a
//     signature over the content and the other attributes, which the kernel checks and would
//     refuse) and security.capability (privileges for an executable, tied to its owner; a
//     configuration file has none to keep).
//  3. Any other namespace (system.* beside the ACL, such as an NFSv4 ACL) has rules this
//     helper does not know; it refuses rather than drop or guess.
//  4. The names and each value go through fixed buffers; beyond them the run refuses, naming
//     the attribute. Without attributes, the cost is one flistxattr and one fremovexattr.

namespace {

/// Room for the names of all of one file's attributes, each NUL-terminated.
constexpr std::size_t kNamesMax = 4096;
/// Room for one value: an ACL of 500 entries, or any label.
constexpr std::size_t kValueMax = 4096;

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr const char* kCopiedPrefixes[] = {"user.", "trusted.", "security."};
constexpr const char* kSkipped[] = {"security.ima", "security.evm", "security.capability"};

// Off the stack: the helper must run on a caller's small stack limit.
char g_names[kNamesMax];
char g_value[kValueMax];

enum class Treat { kCopy, kSkip, kUnknown };

// By hand rather than strncmp or strnlen: each libc function the helper imports costs every
// run about a thousand instructions at start-up.
bool starts_with(const char* text, const char* prefix) {
  while (*prefix != '\0' && *text == *prefix) {
    ++text;
    ++prefix;
  }
  return *prefix == '\0';
}

Treat treat(const char* name) {
  const auto is = [name](const char* skipped) { return std::strcmp(name, skipped) == 0; };
  const auto in = [name](const char* prefix) { return starts_with(name, prefix); };
  if (std::any_of(std::begin(kSkipped), std::end(kSkipped), is)) return Treat::kSkip;
  if (std::any_of(std::begin(kCopiedPrefixes), std::end(kCopiedPrefixes), in)) {
    return Treat::kCopy;
  }
  return Treat::kUnknown;
}

int fail(AttributeFailure* failure, AttributeFailure::Kind kind, int error, const char* name) {
  failure->kind = kind;
  failure->error = error;
  // The kernel lists no name longer than XATTR_NAME_MAX; a longer one would only be shown cut.
  std::size_t len = 0;
  while (len < sizeof failure->name - 1 && name[len] != '\0') ++len;
  std::memcpy(failure->name, name, len);
  failure->name[len] = '\0';
  return 1;
}

/// Copies the attribute |name| of |from| to |to|. Returns 0, or 1 with |failure| filled.
int copy_one(int from, int to, const char* name, AttributeFailure* failure) {
  const ssize_t len = fgetxattr(from, name, g_value, sizeof g_value);
  // Gone since it was listed: that changed the old file's ctime, so the commit refuses anyway.
  if (len < 0 && errno == ENODATA) return 0;
  if (len < 0 && errno == ERANGE) return fail(failure, AttributeFailure::Kind::kTooLarge, 0, name);
  if (len < 0) return fail(failure, AttributeFailure::Kind::kCopy, errno, name);
  if (fsetxattr(to, name, g_value, static_cast<std::size_t>(len), 0) != 0) {
    return fail(failure, AttributeFailure::Kind::kCopy, errno, name);
  }
  return 0;
}

}  // namespace

int carry_file_attributes(int from, int to, AttributeFailure* failure) {
  failure->kind = AttributeFailure::Kind::kNone;
  failure->error = 0;
  failure->name[0] = '\0';
  ssize_t listed = flistxattr(from, g_names, sizeof g_names);
  if (listed < 0 && errno == ERANGE) {
    return fail(failure, AttributeFailure::Kind::kListTooLong, 0, "");
  }
  if (listed < 0 && errno != ENOTSUP) {
    return fail(failure, AttributeFailure::Kind::kList, errno, "");
  }
  const char* end = g_names + (listed < 0 ? 0 : listed);
  bool has_acl = false;
  for (const char* name = g_names; name < end; name += std::strlen(name) + 1) {
    if (std::strcmp(name, kAccessAcl) != 0) continue;
    has_acl = true;
    if (copy_one(from, to, name, failure) != 0) return 1;
  }
  if (!has_acl && fremovexattr(to, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
    return fail(failure, AttributeFailure::Kind::kInherited, errno, kAccessAcl);
  }
  for (const char* name = g_names; name < end; name += std::strlen(name) + 1) {
    if (std::strcmp(name, kAccessAcl) == 0) continue;
    const Treat how = treat(name);
    if (how == Treat::kUnknown) return fail(failure, AttributeFailure::Kind::kUnknown, 0, name);
    if (how == Treat::kCopy && copy_one(from, to, name, failure) != 0) return 1;
  }
  return 0;
}

void report_attribute_failure(const char* path, const AttributeFailure& failure) {
  char shown[(XATTR_NAME_MAX + 1) * 4];
  quote_name(failure.name, shown, sizeof shown);
  switch (failure.kind) {
    case AttributeFailure::Kind::kList:
      say("xattrs-unlistable", path, std::strerror(failure.error));
      break;
    case AttributeFailure::Kind::kListTooLong:
      say("xattr-names-too-long", path, kNamesMax);
      break;
    case AttributeFailure::Kind::kTooLarge:
      say("xattr-too-large", path, shown, kValueMax);
      break;
    case AttributeFailure::Kind::kUnknown:
      say("xattr-unknown", path, shown);
      break;
    case AttributeFailure::Kind::kCopy:
      say("xattr-not-kept", path, shown, std::strerror(failure.error));
      break;
    case AttributeFailure::Kind::kInherited:
      say("inherited-acl-kept", path, std::strerror(failure.error));
      break;
    case AttributeFailure::Kind::kNone:
      break;
  }
}
