// The recovery sequence against a scripted boot loader on the in-memory device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/recovery/recovery_sequence.hpp"
#include "comm/platform/message_queue.hpp"
#include "tests/dispatcher/memory_dispatcher.hpp"
#include "tests/support/pump_until.hpp"

namespace qor::app {
namespace {

using qor::testing::TMemoryDispatcher;
using qor::testing::PumpUntil;

class RecorderView : public IRecoveryView {
 public:
  void Log(const std::string& line) override { log.push_back(line); }
  void SetInfo(const std::string& text) override { info = text; }
  void SetProgressMax(int max) override { progress_max = max; }
  void SetProgressPosition(int position) override { progress = position; }
  void ShowProgressPage() override { progress_page = true; }
  void HideNavigationButtons() override { navigation_hidden = true; }
  void ShowCloseButton() override { close_shown = true; }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowInformation(const std::string& text) override { information.push_back(text); }
  std::string ImageFileName() override { return image; }

  std::vector<std::string> log, errors, information;
  std::string info, image;
  int progress_max = 100, progress = 0;
  bool progress_page = false, navigation_hidden = false, close_shown = false;
};

// The boot loader's prompts as it sends them: lines end in LF CR.
const char kMainMenu[] = "  1 - Setup\n\r  0 - Exit Menu and Boot Application\n\r->";
const char kDevicePrompt[] = "select device to enable (Enter to return to main menu)->";
const char kImageMenu[] = "  2 - kernel\n\r  3 - rootfs\n\r  Enter - \n\r\n\r  =>";
const char kContinue[] = "  e. done\n\r       f. Hit enter to continue";

class RecoveryTest : public ::testing::Test {
 protected:
  RecoveryTest() {
    port.SetCustomDispatcherFactory([this](TQorCustomComPort& cp) {
      auto d = std::make_unique<TMemoryDispatcher>(&cp);
      device = d.get();
      return std::unique_ptr<TQorBaseDispatcher>(std::move(d));
    });
    image = std::filesystem::temp_directory_path() / "recovery_image.bin";
    std::ofstream(image, std::ios::binary) << std::string(1000, 'k');
    view.image = image.string();
  }
  ~RecoveryTest() override {
    sequence.reset();
    port.SetOpen(false);
    std::filesystem::remove(image);
  }

  // Everything the device was given to send since the last call.
  std::string Sent() {
    device->DrainOutput();
    std::string all = device->Written();
    std::string fresh = all.substr(consumed_);
    consumed_ = all.size();
    return fresh;
  }
  // The boot loader prints text; the sequence's data event handles it.
  void Receive(const std::string& text) {
    const std::size_t before = sequence->FlashText.size();
    device->Feed(text);
    ASSERT_TRUE(PumpUntil([&] { return sequence->FlashText.size() >= before + text.size(); }));
  }
  void Open() {
    sequence->OpenReceiverPort();
    ASSERT_TRUE(port.Open());
  }

  RecorderView view;
  TQorComPort port;
  TQorProtocol protocol;
  TMemoryDispatcher* device = nullptr;
  std::unique_ptr<RecoverySequence> sequence =
      std::make_unique<RecoverySequence>(view, port, protocol, nullptr);
  std::filesystem::path image;
  std::size_t consumed_ = 0;
};

TEST_F(RecoveryTest, ComponentsGetTheWizardsSettings) {
  EXPECT_EQ(port.ComNumber(), 1);
  EXPECT_EQ(port.Baud(), 115200);
  EXPECT_FALSE(port.AutoOpen());
  EXPECT_EQ(port.TapiMode(), tmOff);
  EXPECT_EQ(protocol.ProtocolType(), ptKermit);
  EXPECT_EQ(protocol.HandshakeWait(), 1092u);
  EXPECT_EQ(protocol.Overhead(), 20u);
  EXPECT_EQ(protocol.WriteFailAction(), wfWriteAnyway);
  EXPECT_EQ(protocol.KermitPadCharacter(), 0);
  EXPECT_EQ(protocol.KermitMaxLen(), 80u);
  EXPECT_EQ(protocol.BlockCheckMethod(), bcmChecksum);
  EXPECT_EQ(sequence->GetMenuAnswer(), "2\n\r");
}

TEST_F(RecoveryTest, WakesTheReceiverAndWalksTheSixSteps) {
  Open();
  EXPECT_TRUE(view.navigation_hidden);
  EXPECT_EQ(view.log, std::vector<std::string>{"Ожидаем подключение..."});
  std::string woken;  // the wake-up poll: LF CR again and again
  ASSERT_TRUE(PumpUntil([&] {
    woken += Sent();
    return woken.find("\n\r\n\r") != std::string::npos;
  }));

  Receive(kMainMenu);
  EXPECT_TRUE(sequence->ReceiverAnswered);
  ASSERT_TRUE(PumpUntil([&] { return !sequence->Timer1().Enabled(); }));
  EXPECT_TRUE(view.progress_page);
  EXPECT_EQ(view.log.back(), "Связь с ресивером установлена");
  EXPECT_EQ(sequence->HandshakeStep, 1);
  std::string sent = Sent();
  EXPECT_EQ(sent.substr(sent.rfind('2')), "2");  // the answer after the wake-up line ends
  EXPECT_EQ(view.info, "Вход в загрузчик. Шаг 1 из 6");

  const struct {
    const char* prompt;
    const char* answer;
  } steps[] = {{kDevicePrompt, "002\n\r"}, {kMainMenu, "T"}, {kImageMenu, "2\n\r"},
               {kMainMenu, "0"}};
  for (const auto& s : steps) {
    Receive(s.prompt);
    EXPECT_EQ(Sent(), s.answer);
  }
  EXPECT_EQ(sequence->HandshakeStep, 5);
  EXPECT_EQ(view.info, "Вход в загрузчик. Шаг 5 из 6");

  Receive(kContinue);
  EXPECT_EQ(sequence->HandshakeStep, 6);
  EXPECT_EQ(view.log[2], "Вход в загрузчик выполнен");
  EXPECT_EQ(view.log[3], "Загрузка файла в ресивер");
  EXPECT_TRUE(view.errors.empty());
  EXPECT_TRUE(sequence->Timer3().Enabled());
  // The upload has started: the first thing on the line after "\n\r" is a
  // Kermit packet.
  ASSERT_TRUE(PumpUntil([&] { return device->OutputUsed() > 0 || !Sent().empty(); }));
}

TEST_F(RecoveryTest, PromptsAreFoundAcrossEventsOneStepPerEvent) {
  Open();
  Receive("  0 - Exit Menu and ");
  EXPECT_EQ(sequence->HandshakeStep, 0);
  Receive("Boot Application\n\r->");
  EXPECT_EQ(sequence->HandshakeStep, 1);
  // Two prompts in one event: one step; the text after the first is dropped.
  Receive(std::string(kDevicePrompt) + kMainMenu);
  EXPECT_EQ(sequence->HandshakeStep, 2);
  EXPECT_TRUE(sequence->HandshakeText.empty());
  Receive("noise");
  EXPECT_EQ(sequence->HandshakeStep, 2);
}

TEST_F(RecoveryTest, ReceiverWithCrLfLineEndsNeverMatches) {
  Open();
  Receive("  0 - Exit Menu and Boot Application\r\n->");
  EXPECT_EQ(sequence->HandshakeStep, 0);
}

TEST_F(RecoveryTest, MenuAnswerFollowsTheImageType) {
  sequence->SetMenuAnswer("3\r\n");
  Open();
  for (const char* p : {kMainMenu, kDevicePrompt, kMainMenu}) Receive(p);
  Sent();
  Receive(kImageMenu);
  EXPECT_EQ(Sent(), "3\r\n");
}

TEST_F(RecoveryTest, ReceivedLineEndsAreSwapped) {
  Open();
  const struct {
    std::string in, out;
  } cases[] = {{"\r", "\n"}, {"\n", "\r"}, {"\r\n", "\n\r"}, {std::string("a\0b", 3), std::string("a\0b", 3)}};
  for (const auto& c : cases) {
    const std::size_t before = sequence->FlashText.size();
    Receive(c.in);
    EXPECT_EQ(sequence->FlashText.substr(before), c.out);
  }
}

TEST_F(RecoveryTest, DataEventWithNothingAnnouncedLeavesTheStateAlone) {
  Open();
  sequence->SockPortTriggerAvail(port, 0);
  EXPECT_FALSE(sequence->ReceiverAnswered);
  EXPECT_TRUE(sequence->HandshakeText.empty());
}

TEST_F(RecoveryTest, FlashPhaseFromFinishToUpdateComplete) {
  Open();
  sequence->ImageFileSize = 150000;
  sequence->XferProtocolProtocolFinish(protocol, 0);
  EXPECT_EQ(view.info, "Передача файла завершена");
  EXPECT_EQ(view.log.back(), "Загрузка файла завершена");
  EXPECT_TRUE(sequence->Timer2().Enabled());
  sequence->Timer2().SetEnabled(false);  // tick by hand
  Sent();
  const std::string expected_sends[] = {"", "\r\n", "", "y", ""};
  for (const std::string& expected : expected_sends) {
    sequence->Timer2Timer();
    EXPECT_EQ(Sent(), expected);
  }
  EXPECT_TRUE(sequence->FlashStarted);
  EXPECT_EQ(view.log[view.log.size() - 2], "Подготовка ресивера к прошивке");
  EXPECT_EQ(view.log.back(), "Перенос файла во Flash");

  Receive("Erasing 65536 65536 65536 65536");
  EXPECT_TRUE(sequence->Timer4().Enabled());
  sequence->Timer4().SetEnabled(false);
  sequence->Timer4Timer();
  EXPECT_FALSE(sequence->FlashStarted);
  EXPECT_EQ(view.progress_max, 3);
  EXPECT_EQ(view.progress, 2);
  EXPECT_EQ(view.info, "Запись во Flash: 131072 из 150000");
  Receive(" 65536 65536\n\rUpdate complete\n\r");
  sequence->Timer4Timer();
  EXPECT_EQ(view.progress, 2);  // six marks are still two blocks
  EXPECT_TRUE(sequence->Completed());
  EXPECT_TRUE(view.close_shown);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(view.log.back(), "Прошивка ресивера завершена");
  EXPECT_EQ(view.info, "Прошивка ресивера успешно завершена");
  EXPECT_EQ(view.information, std::vector<std::string>{"Прошивка ресивера завершена успешно"});
}

TEST_F(RecoveryTest, FailedUploadIsNeverFlashed) {
  Open();
  sequence->Timer3().SetEnabled(true);
  Sent();
  sequence->XferProtocolProtocolFinish(protocol, -6005);
  EXPECT_FALSE(sequence->Timer3().Enabled());
  EXPECT_FALSE(sequence->Timer2().Enabled());
  EXPECT_EQ(view.log.back(), "Ошибка передачи файла. Cancel requested");
  EXPECT_EQ(view.errors, std::vector<std::string>{"Ошибка передачи файла."});
  EXPECT_FALSE(port.Open());
  EXPECT_TRUE(view.close_shown);
  EXPECT_FALSE(sequence->FlashStarted);
}

TEST(RecoveryHelpers, CountOccurrencesIsNonOverlapping) {
  EXPECT_EQ(RecoverySequence::CountOccurrences("aa", "aaaa"), 2);
  EXPECT_EQ(RecoverySequence::CountOccurrences("aa", "aaa"), 1);
  EXPECT_EQ(RecoverySequence::CountOccurrences("aa", ""), 0);
  EXPECT_EQ(RecoverySequence::CountOccurrences("65536", "x65536y65536"), 2);
}

TEST(RecoveryHelpers, FlashProgressCountsThreeMarksPerBlock) {
  RecorderView view;
  TQorComPort port;
  TQorProtocol protocol;
  RecoverySequence sequence(view, port, protocol, nullptr);
  sequence.ImageFileSize = 150000;
  const struct {
    int marks, position;
    const char* info;
  } cases[] = {{1, 1, "Запись во Flash: 65536 из 150000"},
               {3, 1, "Запись во Flash: 65536 из 150000"},
               {4, 2, "Запись во Flash: 131072 из 150000"},
               {6, 2, "Запись во Flash: 131072 из 150000"},
               {7, 3, "Запись во Flash: 196608 из 150000"},
               {9, 3, "Запись во Flash: 196608 из 150000"}};
  for (const auto& c : cases) {
    sequence.ShowFlashProgress(c.marks);
    EXPECT_EQ(view.progress_max, 3);
    EXPECT_EQ(view.progress, c.position) << c.marks;
    EXPECT_EQ(view.info, c.info);
  }
}

TEST(RecoveryOpen, PortThatCannotOpenShowsTheMessage) {
  ::setenv("COM1", "/dev/no-such-serial-device", 1);
  RecorderView view;
  TQorComPort port;
  TQorProtocol protocol;
  RecoverySequence sequence(view, port, protocol, nullptr);
  sequence.OpenReceiverPort();
  EXPECT_EQ(view.errors, std::vector<std::string>{"Ошибка открытия порта."});
  EXPECT_FALSE(sequence.Timer1().Enabled());
  EXPECT_TRUE(view.navigation_hidden);
  EXPECT_TRUE(view.log.empty());
  ::unsetenv("COM1");
}

}  // namespace
}  // namespace qor::app
