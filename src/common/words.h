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
};

/// A row's place in WORDS.
using WordId = unsigned short;

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
  // NOLINTNEXTLINE(google-explicit-constructor): a call site writes the code itself.
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

/// Returns the run's refusal: the first refusal said (with the lines said right after it under
/// the same code), or nullptr when none was.
const SaidWord* run_refusal();

/// Returns the run's warnings in the order said, and their number in |count|.
const SaidWord* run_warnings(std::size_t* count);

/// Returns the code of row |id|.
inline const char* word_code(WordId id) { return WORDS[id].code; }

#endif  // BRINDLEWAY_COMMON_WORDS_H_
