#include "common/words.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "common/message_queue.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Returns true if |code| is lower-case words of letters and digits joined by single hyphens.
bool well_formed(const std::string& code) {
  if (code.empty() || code.front() == '-' || code.back() == '-') return false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '-' && code[i + 1] == '-') return false;
    if (c != '-' && (c < 'a' || c > 'z') && (c < '0' || c > '9')) return false;
  }
  return true;
}

// Callers act on the codes, so each is unique, well-formed and documented where they read.
TEST(Words, EveryCodeIsUniqueWellFormedAndDocumented) {
  const std::string calling = read_file(BRINDLEWAY_SOURCE_DIR "/docs/calling.md");
  const std::string manual = read_file(BRINDLEWAY_SOURCE_DIR "/dist/brindleway-helper.8");
  ASSERT_FALSE(calling.empty());
  ASSERT_FALSE(manual.empty());
  std::set<std::string> seen;
  for (const Word& row : WORDS) {
    const std::string code = row.code;
    EXPECT_TRUE(well_formed(code)) << code;
    EXPECT_TRUE(seen.insert(code).second) << "twice: " << code;
    EXPECT_NE(calling.find("`" + code + "`"), std::string::npos) << code << " in docs/calling.md";
    // groff writes a hyphen in a code as \-, so that it is not hyphenated away.
    std::string roff;
    for (const char c : code) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(roff), std::string::npos) << code << " in the man page";
    ASSERT_NE(row.text, nullptr) << code;
    EXPECT_NE(std::strlen(row.text), 0U) << code;
  }
}

// Standard error is the table's alone: no source says anything there but through a row, so
// every message the helper gives has exactly one code.
TEST(Words, OnlyTheTableWritesToStandardError) {
  const std::filesystem::path src = BRINDLEWAY_SOURCE_DIR "/src";
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
    const std::string name = entry.path().filename();
    if (name.ends_with("_test.cc") || name.starts_with("message_queue.") || name == "words.cc") continue;
    if (!name.ends_with(".cc") && !name.ends_with(".h")) continue;
    ++files;
    const std::string text = read_file(entry.path());
    for (const char* said : {"msg_err(", "msg_err_queued(", "stderr", "STDERR_FILENO"}) {
      EXPECT_EQ(text.find(said), std::string::npos) << entry.path() << " uses " << said;
    }
  }
  EXPECT_GT(files, 50);
}

// The queue keeps what a run said under which code, for a caller that reads codes.
TEST(Words, TheRunKeepsItsRefusalAndWarnings) {
  testing::internal::CaptureStderr();
  say("usage", "p");
  say_because(word_id("usage"), "usage-disable", "p");
  say("output-not-written", "E");
  say("not-root");
  const SaidWord* refusal = run_refusal();
  ASSERT_NE(refusal, nullptr);
  EXPECT_STREQ(refusal->code, "usage");
  EXPECT_EQ(std::string(refusal->message, static_cast<std::size_t>(refusal->message_len)),
            "Usage: p enable <username>\n       p disable [username]\n");
  std::size_t count = 0;
  const SaidWord* warnings = run_warnings(&count);
  ASSERT_EQ(count, 1U);
  EXPECT_STREQ(warnings[0].code, "output-not-written");
  flush_messages();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Usage: p enable <username>\n       p disable [username]\n"
            "Warning: could not write to standard output: E\n"
            "brindleway-helper must be run as root (use pkexec)\n");
  EXPECT_EQ(run_refusal(), nullptr);
  char reason[64];
  const WordId id = format_reason(reason, sizeof reason, "user-does-not-exist", "x");
  EXPECT_STREQ(word_code(id), "user-does-not-exist");
  EXPECT_STREQ(reason, "User does not exist: x\n");
}

}  // namespace
