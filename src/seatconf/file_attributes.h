#ifndef BRINDLEWAY_SEATCONF_FILE_ATTRIBUTES_H_
#define BRINDLEWAY_SEATCONF_FILE_ATTRIBUTES_H_

#include <climits>

/// Why the extended attributes of a file could not be carried over to its replacement.
struct AttributeFailure {
  enum class Kind {
    kNone,
    kList,         // the old file's attributes cannot be listed (|error|)
    kListTooLong,  // their names do not fit the list buffer
    kTooLarge,     // the value of |name| does not fit the value buffer
    kUnknown,      // |name| is of a kind that is neither copied nor skipped
    kCopy,         // |name| cannot be read from the old file or set on the new one (|error|)
    kInherited,    // the ACL the new file inherited cannot be removed (|error|)
  };
  Kind kind;
  int error;
  char name[XATTR_NAME_MAX + 1];
};

/// Gives the new file |to| the extended attributes of the old file |from| that say who may use
/// it and how it is labelled: its ACL (or, without one, no ACL at all, not the one |to|
/// inherited from its directory), then user.*, trusted.* and security.* attributes, except
/// those the kernel computes or binds. The caller sets the mode afterwards, which bounds the
/// ACL's named entries by the group bits. Returns 0, or 1 with |failure| filled; |to| may then
/// hold some of the attributes, and the caller drops it.
int carry_file_attributes(int from, int to, AttributeFailure* failure);

/// Says on standard error why the attributes of |path| could not be kept on its replacement.
void report_attribute_failure(const char* path, const AttributeFailure& failure);

#endif  // BRINDLEWAY_SEATCONF_FILE_ATTRIBUTES_H_
