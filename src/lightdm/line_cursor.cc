#include "lightdm/line_cursor.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BRINDLEWAY_X86 1
#endif

namespace {

constexpr std::size_t kBlock = 64;

/// Each returns a mask with bit i set where |p|[i] is a line feed, for i below 64.
[[maybe_unused]] std::uint64_t newline_mask_plain(const char* p) {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    if (p[i] == '\n') mask |= std::uint64_t{1} << i;
  }
  return mask;
}

#if defined(BRINDLEWAY_X86)
__attribute__((always_inline)) inline std::uint64_t newline_mask_sse2(const char* p) {
  const __m128i nl = _mm_set1_epi8('\n');
  const auto* v = reinterpret_cast<const __m128i*>(p);
  auto m0 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(v), nl)));
  auto m1 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(v + 1), nl)));
  auto m2 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(v + 2), nl)));
  auto m3 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(v + 3), nl)));
  return (std::uint64_t{m3} << 48) | (std::uint64_t{m2} << 32) | (std::uint64_t{m1} << 16) | m0;
}

__attribute__((target("avx2"))) inline std::uint64_t newline_mask_avx2(const char* p) {
  const __m256i nl = _mm256_set1_epi8('\n');
  const auto* v = reinterpret_cast<const __m256i*>(p);
  auto lo = static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(v), nl)));
  auto hi = static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(v + 1), nl)));
  return (std::uint64_t{hi} << 32) | lo;
}
#endif

/// Returns true for a blank that GLib skips inside a line: space, tab, form feed, carriage
/// return. Every one is at most a space, so most bytes are told apart by one comparison.
inline bool is_inline_blank(unsigned char c) {
  constexpr std::uint64_t kBlanks = (std::uint64_t{1} << ' ') | (std::uint64_t{1} << '\t') |
                                    (std::uint64_t{1} << '\f') | (std::uint64_t{1} << '\r');
  return c <= ' ' && ((kBlanks >> c) & 1) != 0;
}

/// Returns true if the line from |start| to |stop| (a line feed, or the end of the text) is one
/// that |Skip| does not pass over. |Bounded| is false where |stop| is known to be a line feed:
/// no look past the "#" can then pass it, since a line feed is no blank; an empty line is then
/// handed out too, which is rare and costs its reader nothing.
template <LineSkip Skip, bool Bounded>
inline bool wanted(const char* start, const char* stop) {
  if (Skip == LineSkip::kNone) return true;
  if (Bounded && start == stop) return false;  // an empty line
  if (*start != '#') return true;
  if (Skip == LineSkip::kComments) return false;
  // "#a", "# a": perhaps a switched-off key; so is anything with two blanks, which is rare enough
  // to be looked at closer.
  if (Bounded && start + 1 == stop) return false;
  auto first = static_cast<unsigned char>(start[1]);
  if (first == 'a') return true;
  if (!is_inline_blank(first)) return false;
  if (Bounded && start + 2 == stop) return true;
  auto second = static_cast<unsigned char>(start[2]);
  return second == 'a' || is_inline_blank(second);
}

/// Fills |line| for the line from |start| to |stop|, which ends the text or is a line feed.
inline void fill_line(TextLine* line, const char* start, const char* stop, const char* end,
                      unsigned number) {
  const char* content_end = stop;
  // The parser drops one carriage return before a line feed; a last line without a line feed
  // keeps its carriage return.
  if (stop != end && content_end > start && content_end[-1] == '\r') --content_end;
  const char* next = stop == end ? end : stop + 1;
  line->raw = Span{start, static_cast<std::size_t>(next - start)};
  line->content = Span{start, static_cast<std::size_t>(content_end - start)};
  line->number = number;
}

/// The walk itself, one copy for each way of indexing a block and each kind of skipping. The
/// inner loop runs once a line and is kept to a handful of instructions.
template <std::uint64_t (*Mask)(const char*), LineSkip Skip>
__attribute__((always_inline)) inline bool next_line(LineCursor::State* s, TextLine* line) {
  const char* pos = s->pos;
  const char* const end = s->end;
  const char* block = s->block;
  const char* scan = s->scan;
  std::uint64_t mask = s->mask;
  unsigned number = s->number;
  // Whole blocks left to index.
  std::size_t blocks = static_cast<std::size_t>(end - scan) / kBlock;
  for (;;) {
    while (mask != 0) {
      const char* stop = block + static_cast<unsigned>(__builtin_ctzll(mask));
      mask &= mask - 1;
      const char* start = pos;
      pos = stop + 1;
      ++number;
      if (wanted<Skip, false>(start, stop)) {
        *s = LineCursor::State{pos, end, block, scan, mask, number};
        fill_line(line, start, stop, end, number);
        return true;
      }
    }
    if (blocks == 0) break;
    --blocks;
    block = scan;
    scan += kBlock;
    mask = Mask(block);
  }
  // The tail, too short to index: every line feed before |scan| has been reached.
  s->block = block;
  s->scan = scan;
  s->mask = 0;
  while (pos != end) {
    const char* from = pos > scan ? pos : scan;
    const void* nl = std::memchr(from, '\n', static_cast<std::size_t>(end - from));
    const char* stop = nl != nullptr ? static_cast<const char*>(nl) : end;
    const char* start = pos;
    pos = stop == end ? end : stop + 1;
    ++number;
    if (wanted<Skip, true>(start, stop)) {
      s->pos = pos;
      s->number = number;
      fill_line(line, start, stop, end, number);
      return true;
    }
  }
  s->pos = pos;
  s->number = number;
  return false;
}

template <std::uint64_t (*Mask)(const char*)>
__attribute__((always_inline)) inline bool next_line(LineCursor::State* s, TextLine* line,
                                                     LineSkip skip) {
  switch (skip) {
    case LineSkip::kComments:
      return next_line<Mask, LineSkip::kComments>(s, line);
    case LineSkip::kCommentsButKeys:
      return next_line<Mask, LineSkip::kCommentsButKeys>(s, line);
    case LineSkip::kNone:
      break;
  }
  return next_line<Mask, LineSkip::kNone>(s, line);
}

#if defined(BRINDLEWAY_X86)
// Every processor with AVX2 also has BMI1 and BMI2, whose single instructions find and clear
// the lowest bit of a mask.
__attribute__((target("avx2,bmi,bmi2"))) bool next_line_avx2(LineCursor::State* s,
                                                              TextLine* line, LineSkip skip) {
  return next_line<newline_mask_avx2>(s, line, skip);
}

__attribute__((target("sse2"))) bool next_line_sse2(LineCursor::State* s, TextLine* line,
                                                    LineSkip skip) {
  return next_line<newline_mask_sse2>(s, line, skip);
}

// libgcc fills in the processor's features before main runs; asking is a load and a test.
bool has_avx2() {
  return static_cast<bool>(__builtin_cpu_supports("avx2")) &&
         static_cast<bool>(__builtin_cpu_supports("bmi")) &&
         static_cast<bool>(__builtin_cpu_supports("bmi2"));
}
#endif

}  // namespace

LineCursor::LineCursor(const char* text, std::size_t len)
    : state_{text, text + len, text, text, 0, 0} {}

bool LineCursor::next(TextLine* line, LineSkip skip) {
#if defined(BRINDLEWAY_X86)
  return has_avx2() ? next_line_avx2(&state_, line, skip) : next_line_sse2(&state_, line, skip);
#else
  return next_line<newline_mask_plain>(&state_, line, skip);
#endif
}
