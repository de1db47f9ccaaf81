#include "common/words.h"

#include <cstdio>

#include "common/format_text.h"
#include "common/i18n.h"
#include "common/message_queue.h"

namespace {

/// The most warnings one run records; more are still said, and not recorded.
constexpr std::size_t kWarningsMax = 32;

struct Said {
  SaidWord refusal;
  bool has_refusal;
  WordId refusal_id;
  SaidWord warnings[kWarningsMax];
  std::size_t warning_count;
};

Said g_said;

/// Returns row |id|'s sentence, translated, in the form |count| chooses.
const char* sentence(WordId id, unsigned long count) {
  const Word& row = WORDS[id];
  if (row.plural != nullptr) return i18n_plural(row.text, row.plural, count);
  return i18n_text(row.text);
}

void record(WordId code_of, const char* text, int len) {
  Said& s = g_said;
  if (WORDS[code_of].kind == WordKind::kWarning) {
    if (s.warning_count < kWarningsMax) {
      s.warnings[s.warning_count++] = SaidWord{WORDS[code_of].code, text, len};
    }
    return;
  }
  if (!s.has_refusal) {
    s.refusal = SaidWord{WORDS[code_of].code, text, len};
    s.refusal_id = code_of;
    s.has_refusal = true;
    return;
  }
  // A refusal said in more than one line (the usage) is one message.
  if (s.refusal_id == code_of && text != nullptr && s.refusal.message != nullptr &&
      s.refusal.message + s.refusal.message_len == text) {
    s.refusal.message_len += len;
  }
}

}  // namespace

void say_word(WordId id, WordId code_of, unsigned long count, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list args;
  va_start(args, count);
  int len = 0;
  // The catalogs keep every sentence's directives: msgfmt --check sees to that.
  // NOLINTNEXTLINE(clang-diagnostic-format-nonliteral)
  const char* text = msg_err_queued(sentence(id, count), args, &len);
  va_end(args);
  record(code_of, text, len);
}

WordId format_word(char* buf, std::size_t size, WordId id, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list args;
  va_start(args, id);
  // NOLINTNEXTLINE(clang-diagnostic-format-nonliteral): a row's sentence, checked at its call.
  format_text_v(buf, size, i18n_text(WORDS[id].text), args);
  va_end(args);
  return id;
}

void forget_said_words() { g_said = Said{}; }

int print_word(char* buf, std::size_t size, WordId id, ...) {  // NOLINT(cert-dcl50-cpp)
  const char* format = i18n_text(WORDS[id].text);
  va_list args;
  va_start(args, id);
  // A row's sentence, checked at its call; the analyzer loses track of va_start across the
  // catalog lookup.
  // NOLINTNEXTLINE(clang-diagnostic-format-nonliteral,clang-analyzer-valist.Uninitialized)
  const int n = std::vsnprintf(buf, size, format, args);
  va_end(args);
  return n;
}

const SaidWord* run_refusal() { return g_said.has_refusal ? &g_said.refusal : nullptr; }

const SaidWord* run_warnings(std::size_t* count) {
  *count = g_said.warning_count;
  return g_said.warnings;
}
