#ifndef BRINDLEWAY_COMMON_MESSAGE_QUEUE_H_
#define BRINDLEWAY_COMMON_MESSAGE_QUEUE_H_

#include <cstdarg>
#include <cstddef>

/// The most bytes of text one run queues; what comes after is dropped.
inline constexpr int MESSAGE_QUEUE_BYTES = 65536;

/// How long writing out the whole queue may take, to both streams together.
inline constexpr int MESSAGE_WRITE_DEADLINE_MS = 2000;

/// Queues printf-formatted text for standard output. Nothing is written until flush_messages.
/// |format| is never translated: what a caller parses stays the same in every locale, and text
/// that is to be translated is passed through _() at the call site.
void msg_out(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Queues |translated|, a format already translated, formatted with |args|, on standard error
/// after everything queued so far. Only the words table (common/words.h) says anything there, so
/// that every refusal and warning has its code. Returns the queued text (not ended by a NUL; it lives until flush_messages) and
/// its length in |len|, or nullptr when it did not fit and was dropped.
const char* msg_err_queued(const char* translated, va_list args, int* len)
    __attribute__((format(printf, 1, 0)));

/// Makes |len| bytes of |text| all that standard output gets: whatever was or will be queued
/// for it is dropped. |text| must live until flush_messages. For an answer a program parses,
/// which nothing else may come before or after.
void msg_out_only(const char* text, std::size_t len);

/// Marks standard output as the run's answer: flush_messages then reports it when any of it
/// could not be written.
void msg_out_is_answer();

/// Writes the queue out, in the order it was queued, spending at most MESSAGE_WRITE_DEADLINE_MS
/// in all; a stream whose reader does not take it in time gets less, or nothing. Call it only
/// once the run holds nothing another run waits for. Returns 0, or 1 when standard output was
/// the answer (msg_out_is_answer) and not all of it was written.
int flush_messages();

#endif  // BRINDLEWAY_COMMON_MESSAGE_QUEUE_H_
