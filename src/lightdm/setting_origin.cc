#include "lightdm/setting_origin.h"

#include "common/format_text.h"
#include "common/i18n.h"
#include "lightdm/seat_autologin.h"

void describe_origin(const SettingOrigin& origin, OriginWords words, char* buf,
                     std::size_t size) {
  char path[quoted_size(PATH_MAX)];
  quote_name(origin.path, path, sizeof path);
  char section[quoted_size(SEAT_GROUP_NAME_MAX)];
  quote_name(origin.section != nullptr ? origin.section : "", section, sizeof section);
  const bool bracketed = origin.section != nullptr && !origin.sysconfig;
  switch (words) {
    case OriginWords::kFrom:
      // The lines callers parse: a sysconfig variable is named as it stands, a section in its
      // brackets.
      if (origin.section == nullptr) {
        format_text(buf, size, "%s=%s from %s line %u", origin.key, origin.value, path,
                    origin.line);
      } else {
        format_text(buf, size, bracketed ? "%s=%s from %s [%s] line %u" : "%s=%s from %s %s line %u",
                    origin.key, origin.value, path, section, origin.line);
      }
      return;
    case OriginWords::kSets:
      if (bracketed) {
        // TRANSLATORS: FILE sets KEY=VALUE in [SECTION] (line N).
        format_text(buf, size, _("%s sets %s=%s in [%s] (line %u)"), path, origin.key,
                    origin.value, section, origin.line);
      } else {
        // TRANSLATORS: FILE sets KEY=VALUE (line N); KEY may be a sysconfig variable.
        format_text(buf, size, _("%s sets %s=%s (line %u)"), path,
                    origin.sysconfig ? section : origin.key, origin.value, origin.line);
      }
      return;
    case OriginWords::kIn:
      if (bracketed) {
        // TRANSLATORS: KEY in FILE [SECTION] line N: where a value comes from, before ": "
        // and a reason, or in parentheses after a session's name.
        format_text(buf, size, _("%s in %s [%s] line %u"), origin.key, path, section,
                    origin.line);
      } else {
        // TRANSLATORS: KEY in FILE line N, before ": " and a reason, or in parentheses after
        // a session's name.
        format_text(buf, size, _("%s in %s line %u"), origin.key, path, origin.line);
      }
      return;
  }
}

SettingOrigin seat_setting_origin(const SeatSetting& setting, const char* key, char* value,
                                  std::size_t size) {
  quote_value(setting.value, value, size);
  return SettingOrigin{key, value, setting.path, setting.section, setting.from_sysconfig,
                       setting.line};
}
