#ifndef BRINDLEWAY_LIGHTDM_LINE_CURSOR_H_
#define BRINDLEWAY_LIGHTDM_LINE_CURSOR_H_

#include <cstddef>
#include <cstdint>

#include "common/span.h"

/// One line of a text, as GLib's key-file parser cuts it.
struct TextLine {
  /// The line's bytes with its terminator: up to and including the line feed, if there is one.
  Span raw;
  /// What the parser reads: |raw| without the line feed and, when there was a line feed, without
  /// one carriage return before it.
  Span content;
  /// 1 for the first line of the text.
  unsigned number;
};

/// Which lines a reader has no use for, and the cursor may pass over without handing them out.
enum class LineSkip {
  kNone,
  /// Empty lines and lines that start with "#": nothing LightDM reads.
  kComments,
  /// The same, but for a "#" followed by blanks and then "a", which may be a switched-off
  /// autologin line.
  kCommentsButKeys,
};

/// Walks the lines of a text in order. Line feeds are found 64 bytes at a time, and lines
/// the reader has no use for are passed over in the same loop, so a configuration made mostly of
/// comments costs little more than a look at each of its bytes.
class LineCursor {
 public:
  LineCursor(const char* text, std::size_t len);

  /// Fills |line| with the next line that |skip| does not pass over and returns true, or returns
  /// false at the end of the text.
  bool next(TextLine* line, LineSkip skip);

  /// The state of a walk, kept in one place so that each way of indexing can work on it.
  struct State {
    const char* pos;     // start of the next line
    const char* end;     // end of the text
    const char* block;   // start of the 64 bytes that |mask| describes
    const char* scan;    // first byte not yet indexed
    std::uint64_t mask;  // line feeds in |block| not yet reached, one bit a byte
    unsigned number;     // lines handed out or passed over so far
  };

 private:
  State state_;
};

#endif  // BRINDLEWAY_LIGHTDM_LINE_CURSOR_H_
