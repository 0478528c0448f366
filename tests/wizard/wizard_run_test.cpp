// The wizard with the recovery behind it: "Готово", the view, the message
// loop and the exception message box.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "app/wizard/exception_box.hpp"
#include "comm/platform/exception_display.hpp"
#include "comm/platform/message_queue.hpp"
#include "comm/platform/message_timer.hpp"
#include "tests/device/pty_pair.hpp"
#include "tests/wizard/wizard_fixture.hpp"

namespace qor::testing {
namespace {

class Com1 {
 public:
  explicit Com1(const std::string& path) { ::setenv("COM1", path.c_str(), 1); }
  ~Com1() { ::unsetenv("COM1"); }
  Com1(const Com1&) = delete;
  Com1& operator=(const Com1&) = delete;
};

QStringList LogLines(const app::TForm1& form) { return form.LogMemo->toPlainText().split('\n'); }

TEST_F(WizardTest, DoneLogsThePortModeAndFileAndWakesTheReceiver) {
  PtyPair line;
  const Com1 com1(line.Path());
  const QString image = ImageFile("kernel.img", std::string(kKernelStart) + "kernel");
  form_.show();
  QTest::mouseClick(form_.Button4, Qt::LeftButton);
  bool can_close = true;
  form_.OpenDialog1CanClose(image, can_close);
  QTest::mouseClick(form_.Button4, Qt::LeftButton);  // "Готово"

  EXPECT_EQ(form_.PageIndex, 2);
  EXPECT_EQ(form_.PageControl1->currentWidget(), form_.TabSheet3);
  EXPECT_EQ(LogLines(form_), QStringList({"Порт: COM1", "Режим прошивки: KERNEL",
                                          "Загружаемый файл: " + image, "Ожидаем подключение..."}));
  EXPECT_TRUE(form_.Button4->isHidden());
  EXPECT_TRUE(form_.Button3->isHidden());
  EXPECT_TRUE(form_.SockPort.Open());
  // The wake-up poll runs from Qt's loop: LF CR until the receiver answers.
  std::string sent;
  EXPECT_TRUE(QTest::qWaitFor([&] {
    sent += line.Read(4, 1);
    return sent.size() >= 4;
  }));
  EXPECT_EQ(sent.substr(0, 4), "\n\r\n\r");
  EXPECT_TRUE(boxes_.shown.empty());
  // Off the line before its other end goes.
  form_.Recovery.Timer1().SetEnabled(false);
  form_.SockPort.SetOpen(false);
}

TEST_F(WizardTest, PortThatCannotBeOpenedIsReported) {
  const Com1 com1("/nonexistent/serial-device");
  form_.GoToPage(1);
  QTest::mouseClick(form_.Button4, Qt::LeftButton);
  EXPECT_EQ(
      boxes_.shown,
      (std::vector<ShownMessage>{{"Error", QMessageBox::Critical, "Ошибка открытия порта."}}));
  EXPECT_FALSE(form_.SockPort.Open());
  EXPECT_TRUE(form_.Button4->isHidden());
  EXPECT_TRUE(form_.Button3->isHidden());
  EXPECT_EQ(LogLines(form_).size(), 3);
}

TEST_F(WizardTest, ViewShowsWhatTheSequenceReports) {
  form_.HideNavigationButtons();
  form_.ShowProgressPage();
  EXPECT_EQ(form_.PageControl1->currentWidget(), form_.TabSheet4);
  form_.SetInfo("Запись во Flash: 65536 из 150000");
  EXPECT_EQ(form_.InfoLabel->text(), "Запись во Flash: 65536 из 150000");
  form_.SetProgressMax(3);
  form_.SetProgressPosition(4);  // more flash blocks than expected: a full bar
  EXPECT_EQ(form_.ProgressBar1->value(), 3);
  form_.SetProgressPosition(1);
  EXPECT_EQ(form_.ProgressBar1->value(), 1);
  form_.ShowCloseButton();
  EXPECT_FALSE(form_.Button1->isHidden());
  form_.ShowInformation("Прошивка ресивера завершена успешно");
  EXPECT_EQ(boxes_.shown, (std::vector<ShownMessage>{{"Information", QMessageBox::Information,
                                                      "Прошивка ресивера завершена успешно"}}));
  if (const char* dir = std::getenv("QOR_SCREENSHOT_DIR")) {
    form_.Log("Прошивка ресивера завершена");
    form_.grab().save(QString(dir) + "/wizard_done.png");
  }
}

TEST_F(WizardTest, CloseButtonClosesTheWindow) {
  form_.show();
  form_.ShowCloseButton();
  QTest::mouseClick(form_.Button1, Qt::LeftButton);
  EXPECT_FALSE(form_.isVisible());
}

struct ExceptionCase {
  const char* what;
  const char* shown;
};

TEST(ExceptionMessageBox, ShowsInTheMainThreadWithTheTitle) {
  MessageBoxes boxes;
  const auto previous = platform::SetExceptionDisplay(nullptr);
  app::InstallExceptionMessageBox();
  const ExceptionCase cases[] = {{"Port is gone", "Port is gone."},
                                 {"Done.", "Done."},
                                 {"Really?", "Really?."},  // '?' sorts after '.'
                                 {"Stop!", "Stop!"}};
  for (const ExceptionCase& c : cases) platform::ShowException(std::runtime_error(c.what));
  std::thread worker([] { platform::ShowException(std::runtime_error("From a worker")); });
  worker.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == std::size(cases) + 1; }));
  platform::SetExceptionDisplay(previous);
  ASSERT_EQ(boxes.shown.size(), std::size(cases) + 1);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(boxes.shown[i],
              (ShownMessage{"StellixUp 1.0.0", QMessageBox::Critical, cases[i].shown}));
  }
  EXPECT_EQ(boxes.shown.back().text, "From a worker.");
}

TEST(MessagePump, QtLoopRunsTheLibraryQueue) {
  std::atomic<int> posted{0};
  const platform::WindowHandle window =
      platform::CreateMessageWindow([&](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
        if (msg == 0x0400) ++posted;
        return std::intptr_t{0};
      });
  std::thread worker([window] {
    for (int i = 0; i < 3; ++i) platform::PostMessage(window, 0x0400, 0, 0);
  });
  worker.join();
  int ticks = 0;
  platform::MessageTimer timer([&] { ++ticks; }, 5);
  timer.SetEnabled(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return posted == 3 && ticks >= 3; }));
  timer.SetEnabled(false);
  platform::DestroyMessageWindow(window);
}

}  // namespace
}  // namespace qor::testing
