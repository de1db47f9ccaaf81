#ifndef BRINDLEWAY_COMMON_WORDS_H_
#define BRINDLEWAY_COMMON_WORDS_H_

#include <cstdarg>
#include <cstddef>
#include <type_traits>

// Every refusal, failure and warning the helper can give is one row of WORDS: a stable code that
// a caller may act on, and the sentence (a gettext msgid, printf-formatted) that a person reads.
// The code never changes once released and never appears in plain output; the sentence is
// translated and may be reworded (with its translations). A call site names the row by its
// code, and the compiler checks the code exists and the arguments fit the sentence's
// conversions, so a row is written once and said in one way.

/// Whether a row ends the run (exit 1) or only warns.
enum class WordKind : unsigned char { kRefusal, kWarning };

/// The singular and plural of a sentence whose words follow a count.
struct PluralText {
  const char* one;
  const char* many;
};

/// Marks a sentence for xgettext as a printf format, in the table only.
consteval const char* F_(const char* format) { return format; }
/// Marks a singular/plural pair for xgettext, in the table only.
consteval PluralText FP_(const char* one, const char* many) { return PluralText{one, many}; }

/// One row: its stable code, whether it refuses or warns, and its sentence.
struct Word {
  const char* code;
  WordKind kind;
  const char* text;
  const char* plural;  // nullptr, or the plural of |text|

  consteval Word(const char* c, WordKind k, const char* t)
      : code(c), kind(k), text(t), plural(nullptr) {}
  consteval Word(const char* c, WordKind k, PluralText p)
      : code(c), kind(k), text(p.one), plural(p.many) {}
};

constexpr WordKind kRefusal = WordKind::kRefusal;
constexpr WordKind kWarning = WordKind::kWarning;

// The table. Grouped by room, in the order of a run within a room; a new row goes at the end
// of its room's group, one row per entry, so that parallel additions merge line by line.
// A code is lower-case words joined by hyphens and says what went wrong, not where.
inline constexpr Word WORDS[] = {
    // cli
    {"not-root", kRefusal, F_("brindleway-helper must be run as root (use pkexec)\n")},
    {"invalid-username", kRefusal, F_("Invalid username: %s\n")},
    {"user-does-not-exist", kRefusal, F_("User does not exist: %s\n")},
    {"user-lookup-timed-out", kRefusal,
     FP_("Cannot look up user %s: the name service did not answer within %d second\n",
         "Cannot look up user %s: the name service did not answer within %d seconds\n")},
    {"home-refused", kRefusal, F_("Cannot enable automatic login for %s: %s\n")},
    {"status-session-unknown", kRefusal, F_("%s%s\n")},
    {"usage", kRefusal, F_("Usage: %s enable <username>\n")},
    {"usage-disable", kRefusal, F_("       %s disable [username]\n")},
    {"user-lookup-failed", kRefusal, F_("Cannot look up user %s: %s\n")},
    {"user-lookup-no-answer", kRefusal,
     F_("Cannot look up user %s: the lookup ended without an answer\n")},
    {"user-is-root", kRefusal,
     F_("Cannot enable automatic login for %s: the account has user id 0\n")},
    {"pam-refuses", kRefusal,
     F_("Cannot enable automatic login for %s: LightDM's PAM service %s refuses %s "
        "(%s)\n")},
    {"pam-not-asked", kRefusal,
     F_("Cannot enable automatic login for %s: cannot ask LightDM's PAM service %s: %s\n")},
    {"other-display-manager", kWarning, F_("%s\n")},
    {"unknown-command", kRefusal, F_("Unknown command: %s\n")},
    {"account-not-probed", kRefusal, F_("%scannot look at the account as %s: %s\n")},
    {"status-pam-not-asked", kRefusal, F_("%scannot ask LightDM's PAM service %s: %s\n")},
    {"no-root-directory", kRefusal, F_("Cannot change the working directory to /: %s\n")},
    {"no-run-memory", kRefusal, F_("Cannot reserve the memory a run needs: %s\n")},
    {"caller-limit", kRefusal,
     F_("Cannot change automatic login safely: the caller's %s limit (%llu) cannot be "
        "lifted, and the account tools could leave /etc/group cut short\n")},
    // common
    {"output-not-written", kWarning, F_("Warning: could not write to standard output: %s\n")},
    {"run-in-progress", kRefusal, F_("Cannot lock %s: another run is still in progress\n")},
    {"run-lock-failed", kRefusal, F_("Cannot lock %s: %s\n")},
    // gates
    {"home-not-probed", kRefusal, F_("cannot look at %s's home directory: %s")},
    // TRANSLATORS: the user's name, and the home directory's path.
    {"home-missing", kRefusal,
     F_("LightDM could not start %s's session in %s, which does not exist")},
    {"home-not-directory", kRefusal,
     F_("LightDM could not start %s's session in %s, which is not a directory")},
    // TRANSLATORS: the user's name, the home directory's path, and the user's name again.
    {"home-not-enterable", kRefusal,
     F_("LightDM could not start %s's session in %s, which %s may not enter")},
    {"xauthority-not-writable", kRefusal,
     F_("LightDM could not write %s's X authority, since %s may not write %s/.Xauthority")},
    {"home-unknown", kRefusal,
     F_("cannot tell whether LightDM could start %s's session in %s: %s")},
    {"home-refused-briefly", kRefusal, F_("LightDM could not start %s's session in the home")},
    {"home-making-unknown", kRefusal,
     // TRANSLATORS: the user's name, the home directory's path, then a PAM file and a line
     // number in it.
     F_("cannot tell whether PAM makes %s's missing home %s: %s line %u may end the session "
        "stack or jump past pam_mkhomedir")},
    {"home-dangling-link", kRefusal,
     // TRANSLATORS: the user's name, and the home directory's path.
     F_("LightDM could not start %s's session in %s, a symbolic link to nothing")},
    {"xauthority-not-regular", kRefusal,
     // TRANSLATORS: the user's name, and the home directory's path.
     F_("LightDM could not write %s's X authority, since %s/.Xauthority is not a regular file")},
    {"xauthority-not-creatable", kRefusal,
     // TRANSLATORS: the user's name twice, then the path LightDM would create the file at.
     F_("LightDM could not write %s's X authority, since %s may not create %s")},
    {"session-unknown", kRefusal, F_("cannot tell which session LightDM would start: %s")},
    {"session-not-checked", kRefusal, F_("the session LightDM would start was not checked: %s")},
    // TRANSLATORS: the session's name, where it comes from, the name again, and the list of
    // directories LightDM looks in.
    {"session-not-installed", kRefusal,
     F_("LightDM would start the session %s (%s), and no %s.desktop is installed in %s")},
    {"session-unjudged", kRefusal,
     F_("cannot tell whether LightDM can start the session %s (%s): %s")},
    {"session-refused", kRefusal, F_("%s%s\n")},
    {"seats-unlistable", kRefusal, F_("%scannot list the seats in %s: %s\n")},
    // The programs on LightDM's road to the session.
    {"road-value-unreadable", kRefusal,
     F_("cannot tell what LightDM runs: %s: GLib's versions read it differently, or it is too "
        "long to judge")},
    {"program-unknown", kRefusal, F_("cannot tell which program LightDM would run for %s (%s)")},
    // TRANSLATORS: the program, then where it is named ("session-wrapper in FILE [SECTION] line
    // N"); LightDM then shows the greeter.
    {"program-not-installed", kRefusal, F_("LightDM would run %s (%s), and it is not installed")},
    {"program-not-executable", kRefusal,
     F_("LightDM would run %s (%s), and it is not executable")},
    {"command-empty", kRefusal, F_("LightDM would run an empty command (%s)")},
    {"command-unsplittable", kRefusal, F_("LightDM cannot split the command %s (%s)")},
    // TRANSLATORS: the session's Exec, where it comes from, and Debian's Xsession.
    {"xsession-finds-nothing", kRefusal,
     F_("LightDM would start %s (%s) through %s, which finds neither it nor ~/.xsession, "
        "~/.Xsession, x-session-manager, x-window-manager or x-terminal-emulator")},
    {"no-seat-started", kRefusal,
     F_("LightDM starts no seat at boot (start-default-seat=%s in %s line %u)")},
    {"seat-type-remote", kRefusal,
     F_("cannot tell whether LightDM can start the seat: type %s (%s) makes it use an X server "
        "on another host")},
    {"seat-type-unstartable", kRefusal, F_("LightDM can start no seat of the type %s (%s)")},
    {"too-many-seats", kRefusal,
     F_("%scannot judge the seats in %s: more than %zu, or a name longer than %zu "
        "bytes\n")},
    {"display-manager-masked", kWarning,
     F_("Warning: %s.service is masked, so it does not start at boot and automatic login will "
        "not happen")},
    {"display-manager-not-lightdm", kWarning,
     F_("Warning: this system starts %s at boot, not LightDM, so automatic login will not "
        "happen")},
    {"display-manager-disabled", kWarning,
     F_("Warning: no display manager is enabled to start at boot, so automatic login will not "
        "happen")},
    {"lightdm-not-installed", kWarning,
     F_("Warning: LightDM is not installed, so automatic login will not happen")},
    // group
    {"group-change-left", kWarning,
     F_("Warning: could not undo this run's change to group '%s': %s has %s (before: "
        "%s), %s has %s (before: %s)\n")},
    {"group-unreadable", kRefusal, F_("Cannot enable automatic login for %s: %s\n")},
    {"group-files-disagree", kRefusal,
     F_("Cannot enable automatic login for %s: %s and %s disagree about group '%s' (%s "
        "has %s, %s has %s), and the account tools could not put both back\n")},
    {"group-not-created", kWarning, F_("Warning: could not create group '%s'\n")},
    {"group-member-not-added", kWarning, F_("Warning: could not add user '%s' to group '%s'\n")},
    {"group-change-not-undone", kWarning,
     F_("Warning: could not undo this run's change to group '%s': %s\n")},
    {"group-member-not-removed", kWarning,
     F_("Warning: could not remove user '%s' from group '%s': %s\n")},
    {"group-member-still-listed", kWarning,
     F_("Warning: could not remove user '%s' from group '%s'\n")},
    // TRANSLATORS: a group file's path, and the system's reason.
    {"group-file-unreadable", kRefusal, F_("cannot read %s: %s")},
    {"group-file-too-large", kRefusal, F_("cannot read %s: it is larger than %d MiB")},
    {"group-file-unusable", kRefusal, F_("cannot read %s: it is not a regular file")},
    {"group-line-holds-nul", kRefusal,
     F_("cannot read %s: the line of group '%s' holds a NUL byte")},
    {"tool-outlived-kill", kWarning,
     F_("Warning: %s did not end when it was killed and may still change %s and %s\n")},
    {"group-changed-before-undo", kWarning,
     F_("Warning: did not undo this run's change to group '%s': it changed again since this "
        "run changed it, and is left as it is: %s has %s, %s has %s\n")},
    {"group-undo-after-tool-outlived-kill", kWarning,
     F_("Warning: did not undo this run's change to group '%s': a tool of this run may still "
        "change %s and %s\n")},
    // lightdm
    // TRANSLATORS: where the display's number is set: "FILE sets KEY=VALUE (line N)".
    {"display-number-unknown", kRefusal,
     F_("%scannot tell which display LightDM gives its seats: %s\n")},
    {"seat-display-unknown", kRefusal, F_("%scannot tell which display LightDM gives seat %zu\n")},
    {"seat-displays-unknown", kRefusal,
     F_("%scannot tell which display LightDM gives its seats\n")},
    // TRANSLATORS: where the service is named: "FILE sets KEY=VALUE (line N)".
    {"pam-service-unknown", kRefusal, F_("%scannot tell which PAM service LightDM asks: %s\n")},
    {"source-unreadable", kRefusal, F_("%scannot read %s: %s\n")},
    {"source-reading-unsure", kRefusal, F_("%scannot tell how LightDM reads %s: line %u: %s\n")},
    {"conf-cannot-open", kRefusal, F_("Cannot open %s: %s\n")},
    {"conf-unreadable", kRefusal, F_("Cannot read %s: %s\n")},
    {"conf-not-regular", kRefusal, F_("Cannot read %s: not a regular file\n")},
    {"conf-too-large", kRefusal, F_("Cannot read %s: file is larger than %zu bytes\n")},
    {"source-is-fifo", kRefusal, F_("%sLightDM would wait forever reading %s, a FIFO\n")},
    {"source-too-large", kRefusal, F_("%scannot read %s: file is larger than %zu bytes\n")},
    {"too-many-drop-ins", kRefusal,
     F_("%scannot tell how LightDM reads %s: more than %zu drop-ins\n")},
    {"drop-in-name-too-long", kRefusal, F_("%scannot read %s: name too long\n")},
    {"conf-not-loadable", kRefusal,
     F_("%sLightDM cannot load %s (line %u: %s) and would not start\n")},
    {"sysconfig-unreadable", kRefusal, F_("%scannot read %s: %s\n")},
    {"sysconfig-line-unsure", kRefusal, F_("%scannot tell how LightDM reads %s: line %u: %s\n")},
    // seatconf
    {"temp-file-left", kWarning, F_("Cannot remove temp file %s: %s\n")},
    {"saved-file-not-restored", kRefusal,
     F_("Cannot put back the file saved at %s meanwhile, now %s: %s\n")},
    {"temp-file-not-created", kRefusal, F_("Cannot create temp file: %s\n")},
    {"write-failed", kRefusal, F_("Write error: %s\n")},
    {"conf-changed-meanwhile", kRefusal,
     F_("Cannot replace %s: the file changed while it was being rewritten\n")},
    {"replace-failed", kRefusal, F_("Cannot replace %s: %s\n")},
    {"conf-is-symlink", kRefusal,
     F_("Cannot update %s: it is a symbolic link, and replacing it would leave the "
        "file it points to as it is\n")},
    {"new-conf-too-large", kRefusal,
     F_("Cannot update %s: the new file would be larger than %zu bytes\n")},
    {"seat-would-show-greeter-without-logind", kRefusal,
     F_("%s%s, so LightDM would show the greeter and log nobody in on the seat of a "
        "machine without logind\n")},
    {"seat-would-log-in-other-without-logind", kRefusal,
     F_("%s%s, so LightDM would log in %s on the seat of a machine without logind\n")},
    {"seat-would-log-in-behind-greeter-without-logind", kRefusal,
     F_("%s%s, so LightDM would log in %s in the background, behind the greeter on the "
        "seat of a machine without logind\n")},
    {"seat-would-show-greeter", kRefusal,
     F_("%s%s, so LightDM would show the greeter and log nobody in on %s\n")},
    {"seat-would-log-in-other", kRefusal, F_("%s%s, so LightDM would log in %s on %s\n")},
    {"seat-would-log-in-behind-greeter", kRefusal,
     F_("%s%s, so LightDM would log in %s in the background, behind the greeter on %s\n")},
    {"seat-would-keep-user-without-logind", kRefusal,
     F_("%s%s, so LightDM would keep %s as its automatic-login user on the seat of a "
        "machine without logind\n")},
    {"seat-would-keep-user", kRefusal,
     F_("%s%s, so LightDM would keep %s as its automatic-login user on %s\n")},
    {"glib-versions-differ", kRefusal,
     F_("%scannot tell how LightDM reads %s: line %u: the value of %s holds an escape "
        "that GLib before 2.77.3 (Debian 12) reads and later GLib (Debian 13) refuses\n")},
    {"seat-key-unset-without-logind", kRefusal,
     F_("%sno file sets %s on the seat of a machine without logind\n")},
    {"seat-key-unset", kRefusal, F_("%sno file sets %s on %s\n")},
    {"sysconfig-overrides", kRefusal,
     F_("%s%s, which LightDM applies after all of its own files\n")},
    {"xattrs-unlistable", kRefusal,
     F_("Cannot replace %s: cannot list its extended attributes: %s\n")},
    {"xattr-names-too-long", kRefusal,
     F_("Cannot replace %s: the names of its extended attributes take more than %zu "
        "bytes\n")},
    {"xattr-too-large", kRefusal,
     F_("Cannot replace %s: its extended attribute %s is larger than %zu bytes\n")},
    {"xattr-unknown", kRefusal,
     F_("Cannot replace %s: cannot keep its extended attribute %s: not an ACL, user.*, "
        "trusted.* or security.* attribute\n")},
    {"xattr-not-kept", kRefusal,
     F_("Cannot replace %s: cannot keep its extended attribute %s: %s\n")},
    {"inherited-acl-kept", kRefusal,
     F_("Cannot replace %s: cannot remove the ACL the new file inherited from its "
        "directory: %s\n")},
    {"seat-would-count-down-without-logind", kRefusal,
     FP_("%s%s, so LightDM would log in %s after %d second at the greeter on the seat "
         "of a machine without logind\n",
         "%s%s, so LightDM would log in %s after %d seconds at the greeter on the seat "
         "of a machine without logind\n")},
    {"seat-would-count-down", kRefusal,
     FP_("%s%s, so LightDM would log in %s after %d second at the greeter on %s\n",
         "%s%s, so LightDM would log in %s after %d seconds at the greeter on %s\n")},
};

/// A row's place in WORDS.
using WordId = unsigned;

inline constexpr std::size_t WORD_COUNT = sizeof WORDS / sizeof WORDS[0];

namespace words_detail {

consteval bool same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

/// The kinds of argument a printf conversion takes.
enum class Arg : unsigned char { kNone, kString, kInt, kUnsigned, kSize, kLongLong, kUnsignedLL };

template <typename T>
consteval Arg arg_of() {
  using D = std::decay_t<T>;
  if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) return Arg::kString;
  if constexpr (std::is_same_v<D, int>) return Arg::kInt;
  if constexpr (std::is_same_v<D, unsigned>) return Arg::kUnsigned;
  if constexpr (std::is_same_v<D, std::size_t>) return Arg::kSize;
  if constexpr (std::is_same_v<D, long long>) return Arg::kLongLong;
  if constexpr (std::is_same_v<D, unsigned long long>) return Arg::kUnsignedLL;
  return Arg::kNone;
}

/// Returns true if |format|'s conversions take exactly |args|, in order. Knows the conversions
/// the table uses (%s %d %u %zu %lld %llu %%), and no flags, width or precision.
consteval bool conversions_fit(const char* format, const Arg* args, std::size_t count) {
  std::size_t used = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    Arg want = Arg::kNone;
    if (*p == 's') want = Arg::kString;
    if (*p == 'd') want = Arg::kInt;
    if (*p == 'u') want = Arg::kUnsigned;
    if (p[0] == 'z' && p[1] == 'u') want = Arg::kSize, ++p;
    if (p[0] == 'l' && p[1] == 'l' && p[2] == 'd') want = Arg::kLongLong, p += 2;
    if (p[0] == 'l' && p[1] == 'l' && p[2] == 'u') want = Arg::kUnsignedLL, p += 2;
    if (want == Arg::kNone || used == count || args[used] != want) return false;
    ++used;
  }
  return used == count;
}

// Not constexpr: reaching either in a constant evaluation fails the build, naming the fault.
void no_row_has_this_code();
void arguments_do_not_fit_the_sentence();

consteval WordId find(const char* code) {
  for (std::size_t i = 0; i < WORD_COUNT; ++i) {
    if (same(WORDS[i].code, code)) return static_cast<WordId>(i);
  }
  no_row_has_this_code();
  return 0;
}

template <typename... Args>
consteval bool row_fits(WordId id) {
  constexpr Arg kArgs[sizeof...(Args) + 1] = {arg_of<Args>()..., Arg::kNone};
  const Word& row = WORDS[id];
  return conversions_fit(row.text, kArgs, sizeof...(Args)) &&
         (row.plural == nullptr || conversions_fit(row.plural, kArgs, sizeof...(Args)));
}

}  // namespace words_detail

/// A row named by its code at a call site that passes |Args|: the build fails unless WORDS has
/// the code and the row's sentence takes exactly those arguments.
template <typename... Args>
struct WordCall {
  WordId id;
  // A call site writes the code itself, as std::format's callers write the format.
  // cppcheck-suppress noExplicitConstructor
  // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions)
  consteval WordCall(const char* code) : id(words_detail::find(code)) {
    if (!words_detail::row_fits<Args...>(id)) words_detail::arguments_do_not_fit_the_sentence();
  }
};

/// Returns the row of WORDS with |code|; the build fails if there is none.
consteval WordId word_id(const char* code) { return words_detail::find(code); }

/// What a run said under one code: the code and the whole translated message as queued (it ends
/// in a line feed). |message| lives until flush_messages.
struct SaidWord {
  const char* code;
  const char* message;
  int message_len;
};

/// Queues the translated sentence of |id|, formatted, on standard error, and records it under
/// |code_of|'s code: a refusal, or one more warning. |count| chooses a plural row's form.
void say_word(WordId id, WordId code_of, unsigned long count, ...);

/// Queues row |call| on standard error, with |args|, and records its code for the run.
template <typename... Args>
void say(WordCall<std::type_identity_t<Args>...> call, Args... args) {
  say_word(call.id, call.id, 0, args...);
}

/// As say, for a row with a plural: |count| chooses the form.
template <typename... Args>
void say_n(unsigned long count, WordCall<std::type_identity_t<Args>...> call, Args... args) {
  say_word(call.id, call.id, count, args...);
}

/// As say, but records |reason|'s code: for a sentence (|call|) that frames a reason which a
/// gate worked out earlier under its own row.
template <typename... Args>
void say_because(WordId reason, WordCall<std::type_identity_t<Args>...> call, Args... args) {
  say_word(call.id, reason, 0, args...);
}

/// Writes row |id|'s translated sentence, formatted, into |buf| (|size| bytes, at least 4), as
/// format_text does, for a reason said later. Returns |id|, the row the reason carries.
WordId format_word(char* buf, std::size_t size, WordId id, ...);

/// As format_word, with the compiler's check of |args|. Returns the row's id.
template <typename... Args>
WordId format_reason(char* buf, std::size_t size, WordCall<std::type_identity_t<Args>...> call,
                     Args... args) {
  return format_word(buf, size, call.id, args...);
}

/// Writes row |id|'s translated sentence, formatted, into |buf| as snprintf does, and returns
/// snprintf's count, so that a caller that words a cut reason its own way can tell.
int print_word(char* buf, std::size_t size, WordId id, ...);

/// As print_word, with the compiler's check of |args|; |code|, unless nullptr, gets the row.
template <typename... Args>
int print_reason(char* buf, std::size_t size, WordId* code,
                 WordCall<std::type_identity_t<Args>...> call, Args... args) {
  if (code != nullptr) *code = call.id;
  return print_word(buf, size, call.id, args...);
}

/// Returns the run's refusal: the first refusal said (with the lines said right after it under
/// the same code), or nullptr when none was.
const SaidWord* run_refusal();

/// Returns the run's warnings in the order said, and their number in |count|.
const SaidWord* run_warnings(std::size_t* count);

/// Forgets the run's refusal and warnings; flush_messages calls it when it lets go of their text.
void forget_said_words();

/// Returns the code of row |id|.
inline const char* word_code(WordId id) { return WORDS[id].code; }

#endif  // BRINDLEWAY_COMMON_WORDS_H_
