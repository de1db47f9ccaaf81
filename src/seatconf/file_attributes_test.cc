#include "seatconf/file_attributes.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/message_queue.h"

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

/// The attributes of |fd|, name and value, sorted by name.
Attributes attributes_of(int fd) {
  Attributes all;
  std::string names(65536, '\0');
  const ssize_t n = flistxattr(fd, names.data(), names.size());
  for (ssize_t i = 0; i < n;) {
    const char* name = names.data() + i;
    i += static_cast<ssize_t>(std::strlen(name)) + 1;
    std::string value(65536, '\0');
    const ssize_t len = fgetxattr(fd, name, value.data(), value.size());
    value.resize(len < 0 ? 0 : static_cast<std::size_t>(len));
    all.emplace_back(name, value);
  }
  std::sort(all.begin(), all.end());
  return all;
}


}  // namespace

// Which attributes a new file takes from the old one, and where the fixed buffers refuse. On
// tmpfs, whose values and lists may be as large as the kernel allows (ext4 keeps a file's
// attributes within one block, below both limits); user.* there needs Linux 6.6.
TEST(CarryFileAttributes, KeepsWhatDescribesTheFileAndRefusesWhatDoesNotFit) {
  std::string dir = "/dev/shm/file_attributes_test.XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) GTEST_SKIP() << "no /dev/shm";
  const std::string old_path = dir + "/old";
  const std::string new_path = dir + "/new";
  const bool root = geteuid() == 0;
  // A file capability in its version 2 form: magic, then two 32-bit sets of each kind.
  const std::string capability = std::string("\x00\x00\x00\x02", 4) + std::string(16, '\0');
  Attributes long_names;
  for (int i = 0; i < 20; ++i) {
    long_names.emplace_back("user." + std::string(240, 'n') + std::to_string(i), "v");
  }
  struct Case {
    const char* what;
    bool needs_root;
    Attributes old_file;
    Attributes kept;
    const char* refusal;  // null: none
  };
  const Case cases[] = {
      {"none", false, {}, {}, nullptr},
      {"user notes, one empty", false, {{"user.a", "1"}, {"user.b", ""}},
       {{"user.a", "1"}, {"user.b", ""}}, nullptr},
      {"trusted, as root", true, {{"trusted.t", "x"}}, {{"trusted.t", "x"}}, nullptr},
      {"a label", true, {{"security.foo", "system_u:object_r:etc_t"}},
       {{"security.foo", "system_u:object_r:etc_t"}}, nullptr},
      {"what the kernel computes or binds", true,
       {{"security.ima", "\x01hash"}, {"security.evm", "\x02sig"},
        {"security.capability", capability}, {"user.a", "1"}},
       {{"user.a", "1"}}, nullptr},
      {"a value at the limit", false, {{"user.v", std::string(4096, 'v')}},
       {{"user.v", std::string(4096, 'v')}}, nullptr},
      {"a value beyond the limit", false, {{"user.v", std::string(4097, 'v')}}, {},
       "Cannot replace /etc/x: its extended attribute user.v is larger than 4096 bytes\n"},
      {"a name that could forge a line", false, {{"user.a\nb", std::string(4097, 'v')}}, {},
       "Cannot replace /etc/x: its extended attribute user.a\\x0ab is larger than 4096 bytes\n"},
      {"names beyond the list", false, long_names, {},
       "Cannot replace /etc/x: the names of its extended attributes take more than 4096 "
       "bytes\n"},
  };
  for (const Case& c : cases) {
    if (c.needs_root && !root) continue;
    const int from = open(old_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int to = open(new_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(from, 0);
    ASSERT_GE(to, 0);
    for (const auto& [name, value] : c.old_file) {
      if (fsetxattr(from, name.c_str(), value.data(), value.size(), 0) != 0 && errno == ENOTSUP) {
        GTEST_SKIP() << "tmpfs has no user.* attributes before Linux 6.6";
      }
    }
    AttributeFailure failure{};
    const int result = carry_file_attributes(from, to, &failure);
    testing::internal::CaptureStderr();
    report_attribute_failure("/etc/x", failure);
    flush_messages();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, c.refusal != nullptr ? 1 : 0) << c.what;
    EXPECT_EQ(said, c.refusal != nullptr ? c.refusal : "") << c.what;
    if (c.refusal == nullptr) {
      EXPECT_EQ(attributes_of(to), c.kept) << c.what;
    }
    close(from);
    close(to);
    unlink(old_path.c_str());
    unlink(new_path.c_str());
  }
  rmdir(dir.c_str());
}
