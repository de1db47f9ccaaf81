#include "common/json_out.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::string as_json_string(const std::string& text) {
  JsonOut* out = json_answer();
  json_string(out, text.data(), text.size());
  return std::string(out->buf, out->len);
}

std::string as_base64(const std::string& data) {
  JsonOut* out = json_answer();
  json_base64(out, data.data(), data.size());
  return std::string(out->buf, out->len);
}

}  // namespace

// Every string the helper writes must parse, whatever bytes a file or a caller gave it.
TEST(JsonOut, StringsAreValidWhateverTheBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line\nfeed\ttab", "\"line\\nfeed\\ttab\""},
      {std::string("nul\0esc\x1b", 8), "\"nul\\u0000esc\\u001b\""},
      {"caf\xc3\xa9 \xe4\xbc\x9a \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe4\xbc\x9a \xf0\x9f\x98\x80\""},
      {"latin1 caf\xe9", "\"latin1 caf\\\\xe9\""},
      {"overlong \xc0\xaf", "\"overlong \\\\xc0\\\\xaf\""},
      {"surrogate \xed\xa0\x80", "\"surrogate \\\\xed\\\\xa0\\\\x80\""},
      {"cut \xe4\xbc", "\"cut \\\\xe4\\\\xbc\""},
      {"above \xf4\x90\x80\x80", "\"above \\\\xf4\\\\x90\\\\x80\\\\x80\""},
      {"del \x7f", "\"del \x7f\""},
  };
  for (const auto& c : cases) EXPECT_EQ(as_json_string(c.in), c.out) << c.in;
}

TEST(JsonOut, Utf8IsJudgedWhole) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},           {"ascii", true},         {"\xc3\xa9", true},
      {"\xc3", false},      {"\xe9", false},         {"\xc0\x80", false},
      {"\xe0\x80\x80", false}, {"\xed\xbf\xbf", false}, {"\xf4\x8f\xbf\xbf", true},
      {"\xf5\x80\x80\x80", false}, {"\x80", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.text.data(), c.text.size()), c.valid) << c.text;
  }
}

TEST(JsonOut, Base64AsRfc4648) {
  const struct {
    std::string in, out;
  } cases[] = {{"", "\"\""},          {"f", "\"Zg==\""},          {"fo", "\"Zm8=\""},
               {"foo", "\"Zm9v\""},   {"foob", "\"Zm9vYg==\""},   {"\xff\xfe", "\"//4=\""}};
  for (const auto& c : cases) EXPECT_EQ(as_base64(c.in), c.out) << c.in;
}

TEST(JsonOut, MembersAndItemsAreSeparated) {
  JsonOut* out = json_answer();
  json_open(out, '{');
  json_key(out, "a");
  json_open(out, '[');
  json_int(out, 1);
  json_bool(out, false);
  json_null(out);
  json_close(out, ']');
  json_key(out, "b");
  json_open(out, '{');
  json_close(out, '}');
  json_close(out, '}');
  json_finish(out);
  EXPECT_EQ(std::string(out->buf, out->len), "{\"a\":[1,false,null],\"b\":{}}\n");
  EXPECT_FALSE(out->overflow);
}
