// libFuzzer target for the seat section rewrite. Besides the sanitizers' checks it holds the
// rewrite to properties read off the text by a second, deliberately plain reader:
//  - the output fits its buffer;
//  - every line outside the seat sections comes through unchanged and in order;
//  - a second rewrite changes nothing, for enable and for disable. One case is by design: a
//    seat section that held a timeout line but no user line gets the timeout line rewritten
//    in place and the two-line block at its end, so "autologin-user-timeout=0" stands twice;
//    the second run drops the later one, and a third changes nothing;
//  - after disable no seat section holds an active autologin line;
//  - after enable the seat sections hold exactly one user line, for the requested user.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/constants.h"
#include "seatconf/seat_rewrite.h"

namespace {

struct Line {
  std::string text;  // Without its line feed; a lost or added final line feed is not a change.
  bool in_seat;      // Part of a seat section, its header included.
  bool active_user;  // An uncommented autologin-user line.
  bool active_timeout;
};

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool is_key(const std::string& s, const std::string& key) {
  if (s.compare(0, key.size(), key) != 0) return false;
  size_t i = s.find_first_not_of(" \t", key.size());
  return i != std::string::npos && s[i] == '=';
}

std::vector<Line> read_lines(const std::string& text) {
  std::vector<Line> lines;
  bool in_seat = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t next = nl == std::string::npos ? text.size() : nl + 1;
    std::string raw = text.substr(pos, next - pos);
    std::string head = raw.substr(0, LINE_PIECE_MAX);
    while (!head.empty() && (head.back() == '\n' || head.back() == '\r')) head.pop_back();
    std::string body = trim(head);
    Line line{nl == std::string::npos ? raw : raw.substr(0, raw.size() - 1), false, false, false};
    std::string lead = head.substr(std::min(head.size(), head.find_first_not_of(" \t")));
    if (!lead.empty() && lead[0] == '[') {
      in_seat = body == "[Seat:*]" || body == "[SeatDefaults]";
      line.in_seat = in_seat;
    } else if (in_seat) {
      line.in_seat = true;
      line.active_user = is_key(lead, "autologin-user");
      line.active_timeout = is_key(lead, "autologin-user-timeout");
    }
    lines.push_back(line);
    pos = next;
  }
  return lines;
}

std::vector<std::string> outside_lines(const std::string& text) {
  std::vector<std::string> out;
  for (const Line& line : read_lines(text)) {
    if (!line.in_seat) out.push_back(line.text);
  }
  return out;
}

bool rewrite(const std::string& in, bool enable, std::string* out) {
  static char buf[CONF_BUFFER_SIZE + 64];
  const size_t cap = CONF_BUFFER_SIZE - 1;
  size_t len = 0;
  AutologinRequest request{enable, enable ? "alice" : nullptr};
  if (rewrite_seat_section(in.data(), in.size(), request, buf, cap, &len) != 0) return false;
  if (len > cap) std::abort();
  out->assign(buf, len);
  return true;
}

void check(const std::string& in, bool enable) {
  std::string once;
  if (!rewrite(in, enable, &once)) return;
  std::string twice;
  if (!rewrite(once, enable, &twice)) std::abort();
  std::string thrice;
  if (!rewrite(twice, enable, &thrice) || thrice != twice) std::abort();
  if (outside_lines(in) != outside_lines(once)) std::abort();
  int users = 0;
  int timeouts = 0;
  for (const Line& line : read_lines(once)) {
    if (line.active_timeout) ++timeouts;
    if (!enable && (line.active_user || line.active_timeout)) std::abort();
    if (line.active_user) {
      ++users;
      if (line.text != "autologin-user=alice") std::abort();
    }
  }
  if (enable && users != 1) std::abort();
  if (twice != once && !(enable && timeouts > 1)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= CONF_BUFFER_SIZE) return 0;
  std::string in(reinterpret_cast<const char*>(data), size);
  check(in, true);
  check(in, false);
  return 0;
}
