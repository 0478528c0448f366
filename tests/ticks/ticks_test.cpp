#include <gtest/gtest.h>

#include "comm/platform/clock.hpp"
#include "comm/ticks.hpp"

namespace qor {
namespace {

TEST(Ticks, ConversionsRoundAsTheLibraryAlwaysHas) {
  const struct {
    std::int32_t seconds, ticks;
  } to_ticks[] = {{0, 0}, {1, 18}, {5, 91}, {10, 182}, {60, 1092}, {3600, 65543}};
  for (const auto& c : to_ticks) EXPECT_EQ(SecsToTicks(c.seconds), c.ticks) << c.seconds;

  const struct {
    std::int32_t ticks, seconds;
  } to_secs[] = {{0, 0}, {8, 0}, {9, 0}, {10, 1}, {18, 1}, {182, 10}, {1092, 60}};
  for (const auto& c : to_secs) EXPECT_EQ(TicksToSecs(c.ticks), c.seconds) << c.ticks;
}

TEST(Ticks, NowTicksFollowsTheMillisecondClock) {
  const std::int32_t before = NowTicks();
  const std::uint32_t ms_before = platform::TimeGetTime();
  platform::Sleep(3 * kMsPerTick);
  const std::uint32_t elapsed_ms = platform::TimeGetTime() - ms_before;
  const std::int32_t elapsed_ticks = NowTicks() - before;
  EXPECT_GE(elapsed_ms, 3 * kMsPerTick);
  // Whole ticks between the two readings, give or take the partial ticks at each end.
  EXPECT_GE(elapsed_ticks, static_cast<std::int32_t>(elapsed_ms / kMsPerTick) - 1);
  EXPECT_LE(elapsed_ticks, static_cast<std::int32_t>(elapsed_ms / kMsPerTick) + 1);
}

}  // namespace
}  // namespace qor
