#include "common/i18n.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gates/display_manager.h"
#include "gates/pam_gate.h"
#include "gates/user_probe.h"
#include "common/constants.h"
#include "group/group_files.h"
#include "group/tool_runner.h"
#include "lightdm/seat_autologin.h"
#include "lightdm/session_choice.h"
#include "lightdm/session_file.h"
#include "seatconf/promise_check.h"

namespace {

TEST(LocaleRule, KeepsNamesAndDropsAnythingThatReachesOutOfTheLocaleDirectories) {
  struct Case {
    const char* value;
    bool safe;
  } cases[] = {
      {"de_DE.UTF-8", true}, {"C.UTF-8", true}, {"pt_BR", true},   {"sr@latin", true},
      {"", true},            {"/tmp/x", false}, {"x/y", false},    {"..", false},
      {"de..x", false},      {".", false},      {".hidden", false}, {"../../../tmp/x", false},
      {"de/", false},
  };
  for (const Case& c : cases) EXPECT_EQ(locale_value_is_safe(c.value), c.safe) << c.value;
}

TEST(LocaleRule, TakesLanguageElementByElement) {
  struct Case {
    const char* value;
    const char* kept;  // null: nothing is left
  } cases[] = {
      {"de", "de"},
      {"de:fr:en", "de:fr:en"},
      {"../../../tmp/x", nullptr},
      {"de:../../../tmp/x:fr", "de:fr"},
      {"/tmp/x:de", "de"},
      {"de::fr:", "de:fr"},
      {".x:..:/", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    char buf[256];
    const bool kept = filter_language_value(c.value, buf, sizeof buf);
    EXPECT_EQ(kept, c.kept != nullptr) << c.value;
    if (kept && c.kept != nullptr) {
      EXPECT_STREQ(buf, c.kept) << c.value;
    }
  }
  char small[4];
  EXPECT_FALSE(filter_language_value("de:fr", small, sizeof small));
}

TEST(LocaleRule, TheToolsGetWhatTheHelperKeeps) {
  const char* caller[] = {"PATH=/evil",          "LANG=de_DE.UTF-8",      "LANGUAGE=de:fr",
                          "LC_ALL=../../../tmp/x", "LC_MESSAGES=/tmp/x",  "LC_TIME=.x",
                          "LANGUAGE=de:/tmp/x",  "LC_CTYPE=C.UTF-8",      "LOCPATH=/tmp",
                          "LANGUAGES=x",         nullptr};
  ToolEnv env;
  build_tool_env(const_cast<char* const*>(caller), &env);
  std::vector<std::string> got;
  for (const char* const* v = env.vars; *v != nullptr; ++v) got.emplace_back(*v);
  const std::vector<std::string> want = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                                         "LANG=de_DE.UTF-8", "LANGUAGE=de:fr",
                                         "LC_CTYPE=C.UTF-8"};
  EXPECT_EQ(got, want);
}

TEST(CutAtCharacter, NeverLeavesHalfACharacter) {
  // "für" is f, 0xc3 0xbc, r: every buffer size that cuts inside the ü drops the whole ü.
  const char* text = "f\xc3\xbcr";
  const char* want[] = {"", "", "f", "f", "f\xc3\xbc", "f\xc3\xbcr"};
  for (std::size_t size = 1; size <= 5; ++size) {
    char buf[8];
    const int n = std::snprintf(buf, size, "%s", text);
    if (static_cast<std::size_t>(n) >= size) cut_at_character(buf, size);
    EXPECT_STREQ(buf, want[size]) << size;
  }
}

// Every catalog entry that is formatted into a fixed buffer, formatted with the longest
// arguments the helper gives it, must fit that buffer in every language.

/// One catalog: msgid to its translations (one, or one per plural form).
using Catalog = std::map<std::string, std::vector<std::string>>;

/// Reads a C string of a .po line, from its opening quote.
std::string unquote(const std::string& line, std::size_t quote) {
  std::string out;
  for (std::size_t i = quote + 1; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) {
      out += line[i];
      continue;
    }
    const char c = line[++i];
    out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return out;
}

bool read_catalog(const std::string& path, Catalog* catalog) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  std::string msgid;
  std::string* into = nullptr;
  std::vector<std::string> forms;
  auto finish = [&] {
    if (!msgid.empty()) (*catalog)[msgid] = forms;
    msgid.clear();
    forms.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("msgid \"", 0) == 0) {
      finish();
      msgid = unquote(line, line.find('"'));
      into = &msgid;
    } else if (line.rfind("msgid_plural", 0) == 0) {
      into = nullptr;  // the catalogs are keyed by the singular
    } else if (line.rfind("msgstr", 0) == 0) {
      forms.push_back(unquote(line, line.find('"')));
      into = &forms.back();
    } else if (line.rfind("\"", 0) == 0 && into != nullptr) {
      *into += unquote(line, 0);
    }
  }
  finish();
  return true;
}

/// Formats |format| with a row's arguments; returns the length snprintf reports.
using Formatter = std::function<int(const char* format, char* buf, std::size_t size)>;

struct Bounded {
  const char* msgid;
  std::size_t size;  // the buffer it is formatted into
  Formatter format;
};

/// An argument of |n| bytes; only its length counts.
std::string longest(std::size_t n) { return std::string(n, 'x'); }

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
int format_args(char* buf, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, size, format, args);
  va_end(args);
  return n;
}
#pragma GCC diagnostic pop

std::vector<Bounded> bounded_messages() {
  // The longest argument each place passes: a user name (useradd makes at most 32 bytes; 64
  // leaves room), a quoted unit name, a quoted path, value and section, a line number.
  static const std::string user = longest(64);
  static const std::string unit = longest(NAME_MAX * 4 + 7);
  static const std::string path = longest(SOURCE_PATH_MAX * 4 + 7);
  static const std::string value = longest(KEYFILE_VALUE_MAX * 4 + 10);
  static const std::string section = longest(SEAT_GROUP_NAME_MAX * 4 + 7);
  static const std::string reason = longest(128);
  static const std::string key = "autologin-user-timeout";
  const std::size_t origin = KEYFILE_VALUE_MAX * 4 + SOURCE_PATH_MAX * 4 +
                             SEAT_GROUP_NAME_MAX * 4 + 256;
  auto one = [](const std::string& arg) {
    return [&arg](const char* f, char* b, std::size_t s) { return format_args(b, s, f, arg.c_str()); };
  };
  auto none = [](const char* f, char* b, std::size_t s) { return format_args(b, s, f); };
  const auto seconds = static_cast<int>(CHILD_DEADLINE_MS / 1000);
  // A session file's reason follows "line N: " in SessionFile::why; each reason keeps to this
  // much so that the line always fits.
  const std::size_t line_reason = sizeof SessionFile::why - sizeof "line 4294967295: " - 32;
  static const std::string session_reason = longest(line_reason - 1);
  static const std::string error = longest(128);  // strerror's longest, with room
  return {
      {"Cannot enable automatic login for %s: ", REFUSAL_PREFIX_SIZE, one(user)},
      {"Cannot disable automatic login: ", REFUSAL_PREFIX_SIZE, none},
      {"Warning: %s.service is masked, so it does not start at boot and automatic login will "
       "not happen", DISPLAY_MANAGER_WARNING_SIZE, one(unit)},
      {"Warning: this system starts %s at boot, not LightDM, so automatic login will not "
       "happen", DISPLAY_MANAGER_WARNING_SIZE, one(unit)},
      {"Warning: LightDM is not installed, so automatic login will not happen",
       DISPLAY_MANAGER_WARNING_SIZE, none},
      {"the check could not start cleanly", sizeof PamVerdict::reason, none},
      {"%s cannot be loaded", sizeof PamVerdict::reason,
       [](const char* f, char* b, std::size_t s) { return format_args(b, s, f, "libpam.so.0"); }},
      {"the PAM check ended without an answer", sizeof PamVerdict::reason, none},
      {"it did not answer within %d second", sizeof PamVerdict::reason,
       [seconds](const char* f, char* b, std::size_t s) { return format_args(b, s, f, seconds); }},
      {"Warning: could not write to standard output: %s\n", 320, one(reason)},
      {"a guest", AUTOLOGIN_WHO_SIZE, none},
      {"Warning: no display manager is enabled to start at boot, so automatic login will not "
       "happen", DISPLAY_MANAGER_WARNING_SIZE, none},
      {"it did not answer within %d second", sizeof UserProbe::why,
       [seconds](const char* f, char* b, std::size_t s) { return format_args(b, s, f, seconds); }},
      {"the account was not found", sizeof UserProbe::why, none},
      {"the account has user id 0", sizeof UserProbe::why, none},
      {"the home directory's name is too long", sizeof UserProbe::why, none},
      {"the account's groups cannot be listed", sizeof UserProbe::why, none},
      {"the account's identity could not be taken on for good", sizeof UserProbe::why, none},
      {"the check ended without an answer", sizeof UserProbe::why, none},
      {"cannot read %s: %s", 256,
       [](const char* f, char* b, std::size_t s) {
         return format_args(b, s, f, "/etc/gshadow", error.c_str());
       }},
      {"cannot read %s: it is not a regular file", 256,
       [](const char* f, char* b, std::size_t s) { return format_args(b, s, f, "/etc/gshadow"); }},
      {"cannot read %s: it is larger than %d MiB", 256,
       [](const char* f, char* b, std::size_t s) {
         return format_args(b, s, f, "/etc/gshadow", GROUP_FILE_MAX_MIB);
       }},
      {"cannot read %s: the line of group '%s' holds a NUL byte", 256,
       [](const char* f, char* b, std::size_t s) {
         return format_args(b, s, f, "/etc/gshadow", "autologin");
       }},
      {"line %u: %s", sizeof SessionFile::why,
       [](const char* f, char* b, std::size_t s) {
         return format_args(b, s, f, UINT_MAX, session_reason.c_str());
       }},
      {"no Exec in [Desktop Entry]", line_reason, none},
      {"its Exec holds an escape that GLib before 2.77.3 (Debian 12) reads and later GLib "
       "(Debian 13) refuses", line_reason, none},
      {"its X-LightDM-Session-Type holds an escape that GLib before 2.77.3 (Debian 12) reads and "
       "later GLib (Debian 13) refuses", line_reason, none},
      {"it is a FIFO, which LightDM would wait on for ever", line_reason, none},
      {"the file is too large to judge", line_reason, none},
      {"sessions-directory holds an empty, relative or too long directory", line_reason, none},
      {"the path is too long", line_reason, none},
      {"a key before any section", line_reason, none},
      {"an encoding other than UTF-8", line_reason, none},
      {"the path of LightDM's copy of .dmrc is too long", SESSION_WHY_MAX + 1, none},
      {"%s sets %s=%s (line %u)", origin,
       [](const char* f, char* b, std::size_t s) {
         return format_args(b, s, f, path.c_str(), section.c_str(), value.c_str(), UINT_MAX);
       }},
      {"%s sets %s=%s in [%s] (line %u)", origin,
       [](const char* f, char* b, std::size_t s) {
         return format_args(b, s, f, path.c_str(), key.c_str(), value.c_str(), section.c_str(),
                            UINT_MAX);
       }},
  };
}

TEST(Catalogs, EveryTranslationFitsItsBufferWithTheLongestArguments) {
  std::ifstream linguas(BRINDLEWAY_PO_DIR "/LINGUAS");
  std::string lang;
  int languages = 0;
  while (linguas >> lang) {
    Catalog catalog;
    ASSERT_TRUE(read_catalog(BRINDLEWAY_PO_DIR "/" + lang + ".po", &catalog)) << lang;
    ++languages;
    for (const Bounded& entry : bounded_messages()) {
      auto found = catalog.find(entry.msgid);
      ASSERT_NE(found, catalog.end()) << lang << ": not in the catalog: " << entry.msgid;
      for (const std::string& translation : found->second) {
        std::vector<char> buf(entry.size);
        const int n = entry.format(translation.c_str(), buf.data(), buf.size());
        EXPECT_TRUE(n >= 0 && static_cast<std::size_t>(n) < entry.size)
            << lang << ": " << n << " bytes for " << entry.size << ": " << translation;
      }
    }
  }
  EXPECT_GE(languages, 5);
}

}  // namespace
