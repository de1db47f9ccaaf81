// Throughput of the seat section rewrite on configurations of typical lines, 1 KiB to 128 KiB.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/constants.h"
#include "seatconf/seat_rewrite.h"

namespace {

// The shape of LightDM's shipped file: mostly commented keys and explanations, a few sections.
const char kTypical[] =
    "[LightDM]\n"
    "# start-default-seat = True to always start one seat if none are defined in the config\n"
    "#start-default-seat=true\n"
    "#greeter-user=lightdm\n"
    "#minimum-display-number=0\n"
    "\n"
    "[Seat:*]\n"
    "#type=local\n"
    "#xserver-command=X\n"
    "#greeter-session=example-gtk-gnome\n"
    "#greeter-hide-users=false\n"
    "#user-session=default\n"
    "#autologin-guest=false\n"
    "#autologin-user=\n"
    "#autologin-user-timeout=0\n"
    "#autologin-in-background=false\n"
    "#exit-on-failure=false\n"
    "\n"
    "[XDMCPServer]\n"
    "# enabled = True if XDMCP connections should be allowed\n"
    "#enabled=false\n"
    "#port=177\n"
    "\n";

std::string typical_config(size_t size) {
  std::string text;
  while (text.size() + sizeof kTypical - 1 <= size) text += kTypical;
  return text;
}

void BM_Rewrite(benchmark::State& state, bool enable) {
  const std::string text = typical_config(static_cast<size_t>(state.range(0)));
  std::vector<char> out(CONF_BUFFER_SIZE);
  AutologinRequest request{enable, enable ? "alice" : nullptr};
  for (auto _ : state) {
    Span result_text{nullptr, 0};
    int result = rewrite_seat_section(Span{text.data(), text.size()}, request,
                                      RewriteOptions{false, false}, out.data(), out.size() - 1,
                                      &result_text, nullptr);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

void BM_Enable(benchmark::State& state) { BM_Rewrite(state, true); }
void BM_Disable(benchmark::State& state) { BM_Rewrite(state, false); }

}  // namespace

BENCHMARK(BM_Enable)->RangeMultiplier(4)->Range(1 << 10, 1 << 17);
BENCHMARK(BM_Disable)->RangeMultiplier(4)->Range(1 << 10, 1 << 17);
BENCHMARK_MAIN();
