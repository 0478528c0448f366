// The whole recovery (headless) against the simulated receiver through a line
// that flips bits: it ends with the image flashed byte-identical, or with an
// error shown; never with a wrong image flashed, and never not at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tools/linesim/line_simulator.hpp"

namespace qor::testing {
namespace {

constexpr int kLimitMs = 150000;

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

TEST(RecoveryUnderNoise, FlashesTheSameImageOrShowsAnError) {
  const int runs = EnvInt("QOR_FAULT_RUNS", 1);
  const std::string image = std::string(SAMPLES_DIR) + "/kernel_small.img";
  int flashed = 0, reported = 0, wrong = 0, hung = 0;
  for (int run = 0; run < runs; ++run) {
    TempDir dir;
    tools::LineOptions options;
    options.flip_rate = 1e-4;
    options.seed = static_cast<std::uint32_t>(run + 1);
    tools::LineSimulator line(options);
    PeerProcess sim({STELLIX_SIM_PATH, "--port", line.EndB(), "--expect", image, "--dir",
                     (dir.Path() / "received").string(), "--timeout", "120"},
                    dir.Path().string(), "");
    PeerProcess wizard({STELLIXUP_PATH, "--headless", "--port", line.EndA(), "--type", "kernel",
                        "--image", image, "--timeout", "120"},
                       (dir.Path()).string(), "");
    const int status = wizard.Wait(kLimitMs);
    const int sim_status = sim.Wait(10000);
    if (status == 0) {
      ++flashed;
      if (sim_status != 0) ++wrong;  // flashed as a success, but not the image
    } else if (status == 1) {
      ++reported;
    } else {
      ++hung;  // no end within the time limit (2: --timeout ran out)
    }
  }
  std::printf("FAULTS recovery: %d runs, %d completed, %d failed with an error, %d corrupt, %d hung\n",
              runs, flashed, reported, wrong, hung);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(hung, 0);
}

}  // namespace
}  // namespace qor::testing
