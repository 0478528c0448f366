// Whole recoveries: the recovery sequence with a test view against the receiver
// simulator, which runs as its own program on a null-modem pair of ptys.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/recovery/recovery_sequence.hpp"
#include "comm/platform/message_queue.hpp"
#include "tests/support/pump_until.hpp"
#include "tools/linesim/line_simulator.hpp"

namespace qor::app {
namespace {

using qor::testing::PumpUntil;

class RecorderView : public IRecoveryView {
 public:
  void Log(const std::string& line) override { log.push_back(line); }
  void SetInfo(const std::string& text) override { info = text; }
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void ShowProgressPage() override {}
  void HideNavigationButtons() override {}
  void ShowCloseButton() override { closed = true; }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowInformation(const std::string& text) override { information.push_back(text); }
  std::string ImageFileName() override { return image; }
  std::vector<std::string> log, errors, information;
  std::string info, image;
  bool closed = false;
};

// The simulator as a child process; its first output line names our end.
class Simulator {
 public:
  explicit Simulator(const std::vector<std::string>& args) {
    std::string command = STELLIX_SIM_PATH;
    for (const std::string& a : args) command += " " + a;
    out_ = ::popen((command + " 2>&1").c_str(), "r");
    char line[512];
    if (out_ != nullptr && std::fgets(line, sizeof line, out_) != nullptr) {
      std::string text = line;
      if (text.rfind("PORT ", 0) == 0) port_ = text.substr(5, text.find_last_not_of("\r\n") - 4);
    }
  }
  ~Simulator() {
    if (out_ != nullptr) Finish();
  }
  const std::string& Port() const { return port_; }
  // Waits for the simulator to end; its exit status and the rest of its output.
  int Finish() {
    char line[512];
    while (std::fgets(line, sizeof line, out_) != nullptr) output_ += line;
    const int status = ::pclose(out_);
    out_ = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& Output() const { return output_; }

 private:
  std::FILE* out_ = nullptr;
  std::string port_;
  std::string output_;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

struct Case {
  const char* name;
  const char* type;
  const char* image;
  const char* menu_answer;  // empty: the user never clicked a type
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class FullRecovery : public ::testing::TestWithParam<Case> {};

TEST_P(FullRecovery, ImageArrivesIdenticalAndTheFlashCompletes) {
  const Case& c = GetParam();
  const std::string image = std::string(SAMPLES_DIR) + "/" + c.image;
  Simulator sim({"--type", c.type, "--expect", image, "--timeout", "25"});
  ASSERT_FALSE(sim.Port().empty());
  ::setenv("COM240", sim.Port().c_str(), 1);

  RecorderView view;
  view.image = image;
  TQorComPort port;
  TQorProtocol protocol;
  RecoverySequence sequence(view, port, protocol, nullptr);
  port.SetComNumber(240);
  if (*c.menu_answer != '\0') sequence.SetMenuAnswer(c.menu_answer);
  sequence.SetImageFileSize(static_cast<std::int32_t>(std::filesystem::file_size(image)));
  sequence.OpenReceiverPort();
  if (!PumpUntil([&] { return sequence.Completed() || !view.errors.empty(); }, 30000)) {
    const int status = sim.Finish();
    FAIL() << "no end; log:\n" << Joined(view.log) << view.info << "\nsimulator (" << status
           << "):\n" << sim.Output();
  }
  EXPECT_TRUE(view.errors.empty()) << view.errors.front();
  EXPECT_EQ(view.information, std::vector<std::string>{"Прошивка ресивера завершена успешно"});
  EXPECT_EQ(view.info, "Прошивка ресивера успешно завершена");
  EXPECT_EQ(view.log.back(), "Прошивка ресивера завершена");
  EXPECT_EQ(sim.Finish(), 0) << sim.Output();
  ::unsetenv("COM240");
}

INSTANTIATE_TEST_SUITE_P(Images, FullRecovery,
                         ::testing::Values(Case{"Kernel", "kernel", "kernel_small.img", ""},
                                           Case{"RootFS", "rootfs", "rootfs_small.img", "3\r\n"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(SilentReceiver, WakeUpPollKeepsGoingAndNothingElseHappens) {
  Simulator sim({"--silent", "--timeout", "3"});
  ASSERT_FALSE(sim.Port().empty());
  ::setenv("COM241", sim.Port().c_str(), 1);
  RecorderView view;
  TQorComPort port;
  TQorProtocol protocol;
  RecoverySequence sequence(view, port, protocol, nullptr);
  port.SetComNumber(241);
  sequence.OpenReceiverPort();
  PumpUntil([] { return false; }, 1000);
  EXPECT_TRUE(sequence.Timer1().Enabled());
  EXPECT_FALSE(sequence.ReceiverAnswered);
  EXPECT_EQ(view.log, std::vector<std::string>{"Ожидаем подключение..."});
  port.SetOpen(false);
  ::unsetenv("COM241");
}

TEST(LostDevice, TheSequenceStopsAndOffersToClose) {
  // The line goes away while the wizard polls for the receiver, as when the
  // adapter is pulled out.
  tools::LineOptions options;
  options.vanish_after_ms = 300;
  tools::LineSimulator line(options);
  ::setenv("COM243", line.EndA().c_str(), 1);
  RecorderView view;
  TQorComPort port;
  TQorProtocol protocol;
  RecoverySequence sequence(view, port, protocol, nullptr);
  port.SetComNumber(243);
  sequence.OpenReceiverPort();
  ASSERT_TRUE(PumpUntil([&] { return view.closed; }, 5000));
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(sequence.Timer1().Enabled());
  // Whichever thread met the dead line first: the poll writes while the reader waits.
  EXPECT_TRUE(view.log.back() == "Device read error" || view.log.back() == "Device write error")
      << view.log.back();
  ::unsetenv("COM243");
}

TEST(BrokenUpload, NoFlashCommandAndTheErrorIsShown) {
  const std::string image = std::string(SAMPLES_DIR) + "/kernel_small.img";
  Simulator sim({"--break-upload", "--timeout", "25"});
  ASSERT_FALSE(sim.Port().empty());
  ::setenv("COM242", sim.Port().c_str(), 1);
  RecorderView view;
  view.image = image;
  TQorComPort port;
  TQorProtocol protocol;
  RecoverySequence sequence(view, port, protocol, nullptr);
  port.SetComNumber(242);
  sequence.SetImageFileSize(static_cast<std::int32_t>(std::filesystem::file_size(image)));
  sequence.OpenReceiverPort();
  ASSERT_TRUE(PumpUntil([&] { return !view.errors.empty(); }, 30000));
  EXPECT_EQ(view.errors, std::vector<std::string>{"Ошибка передачи файла."});
  EXPECT_FALSE(sequence.FlashStarted);
  EXPECT_TRUE(view.closed);
  EXPECT_NE(sim.Finish(), 0);
  EXPECT_NE(sim.Output().find("upload broken off"), std::string::npos) << sim.Output();
  ::unsetenv("COM242");
}

}  // namespace
}  // namespace qor::app
