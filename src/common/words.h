#ifndef BRINDLEWAY_COMMON_WORDS_H_
#define BRINDLEWAY_COMMON_WORDS_H_

#include <cstddef>

// Interim: what a run said, recorded by msg_err until the table of codes arrives.

struct SaidWord {
  const char* code;
  const char* message;
  int message_len;
};

const SaidWord* run_refusal();
const SaidWord* run_warnings(std::size_t* count);
void record_said(const char* format, const char* text, int len);

#endif  // BRINDLEWAY_COMMON_WORDS_H_
