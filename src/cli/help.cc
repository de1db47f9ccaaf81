#include "cli/help.h"

#include <cstring>

#include "common/constants.h"
#include "common/i18n.h"
#include "common/message_queue.h"

#ifndef BRINDLEWAY_VERSION
#error "the build sets BRINDLEWAY_VERSION from the project's version"
#endif

bool answer_help_or_version(int argc, char* const argv[], const char* program) {
  if (argc < 2) return false;
  if (std::strcmp(argv[1], "--version") == 0) {
    // Parsed by callers and packaging scripts: never translated.
    msg_out("%s %s\n", PROGRAM_NAME, BRINDLEWAY_VERSION);
    msg_out_is_answer();
    return true;
  }
  if (std::strcmp(argv[1], "--help") != 0) return false;
  msg_out(_("Usage: %s enable <username>\n"), program);
  msg_out(_("       %s disable [username]\n"), program);
  msg_out(_("       %s status\n"), program);
  msg_out("\n");
  // TRANSLATORS: keep the command words and the column the descriptions start in.
  msg_out("%s", _("  enable USER     turn automatic login on for USER, with no delay\n"));
  msg_out("%s", _("  disable [USER]  turn automatic login off, and take USER out of the "
                  "autologin group\n"));
  msg_out("%s", _("  status          say what LightDM will do at the next start, and why\n"));
  msg_out("\n");
  msg_out("%s", _("Options, before the command word:\n"));
  // TRANSLATORS: keep the option names and the column the descriptions start in.
  msg_out("%s", _("  --json          answer with one JSON object on standard output\n"));
  msg_out("%s",
          _("  --dry-run       check all that enable or disable would, and change nothing\n"));
  msg_out_is_answer();
  return true;
}
