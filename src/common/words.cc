#include "common/words.h"

#include <cstring>

namespace {
SaidWord g_refusal;
bool g_refused;
SaidWord g_warnings[16];
std::size_t g_warning_count;
}  // namespace

void record_said(const char* format, const char* text, int len) {
  if (std::strncmp(format, "Warning: ", 9) == 0) {
    if (g_warning_count < 16) g_warnings[g_warning_count++] = SaidWord{"warning", text, len};
  } else if (!g_refused) {
    g_refused = true;
    g_refusal = SaidWord{"refusal", text, len};
  }
}

const SaidWord* run_refusal() { return g_refused ? &g_refusal : nullptr; }

const SaidWord* run_warnings(std::size_t* count) {
  *count = g_warning_count;
  return g_warnings;
}
