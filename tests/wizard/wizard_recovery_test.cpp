// One whole recovery by clicks: the wizard window against the receiver
// simulator, which runs as its own program on a null-modem pair of ptys.
#include <QPushButton>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <functional>
#include <QPlainTextEdit>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <string>

#include "tests/wizard/wizard_fixture.hpp"

namespace qor::testing {
namespace {

// Runs Qt's event loop until pred holds or ms pass. Unlike QTest::qWaitFor it
// wakes the moment an event arrives, as the program's own loop does (every
// packet the dispatch thread hands to the window waits for that).
bool RunLoopUntil(const std::function<bool()>& pred, int ms) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (pred()) loop.quit();
  });
  check.start(20);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  if (!pred()) loop.exec();
  return pred();
}

TEST_F(WizardTest, WholeRecoveryByClicksEndsInTheInformationMessage) {
  const std::string image = std::string(SAMPLES_DIR) + "/kernel_small.img";
  std::FILE* sim = ::popen((std::string(STELLIX_SIM_PATH) + " --type kernel --expect " + image +
                            " --timeout 25 2>&1")
                               .c_str(),
                           "r");
  ASSERT_NE(sim, nullptr);
  char line[512] = "";
  ASSERT_NE(std::fgets(line, sizeof line, sim), nullptr);
  std::string port = line;
  ASSERT_EQ(port.rfind("PORT ", 0), 0u) << port;
  port = port.substr(5, port.find_last_not_of("\r\n") - 4);
  ::setenv("COM1", port.c_str(), 1);

  form_.show();
  QTest::mouseClick(form_.Button4, Qt::LeftButton);  // "Далее": COM1 is chosen
  bool can_close = true;
  form_.OpenDialog1CanClose(QString::fromStdString(image), can_close);
  ASSERT_TRUE(can_close);
  QTest::mouseClick(form_.Button4, Qt::LeftButton);  // "Готово"
  const bool done = RunLoopUntil([&] { return !boxes_.shown.empty(); }, 30000);
  std::string rest;
  while (std::fgets(line, sizeof line, sim) != nullptr) rest += line;
  const int status = ::pclose(sim);
  ::unsetenv("COM1");
  ASSERT_TRUE(done) << rest;

  EXPECT_EQ(boxes_.shown,
            (std::vector<ShownMessage>{{"Information", QMessageBox::Information,
                                        "Прошивка ресивера завершена успешно"}}));
  const QStringList expected = {"Порт: COM1",
                                "Режим прошивки: KERNEL",
                                "Загружаемый файл: " + QString::fromStdString(image),
                                "Ожидаем подключение...",
                                "Связь с ресивером установлена",
                                "Вход в загрузчик выполнен",
                                "Загрузка файла в ресивер",
                                "Загрузка файла завершена",
                                "Подготовка ресивера к прошивке",
                                "Перенос файла во Flash",
                                "Прошивка ресивера завершена"};
  QStringList lines = form_.LogMemo->toPlainText().split('\n');
  // The progress page shows once the receiver has answered; its place among the
  // handshake lines depends on timing, the order of the rest does not.
  lines.removeAll("Связь с ресивером установлена");
  QStringList wanted = expected;
  wanted.removeAll("Связь с ресивером установлена");
  EXPECT_EQ(lines, wanted);
  EXPECT_TRUE(form_.LogMemo->toPlainText().contains("Связь с ресивером установлена"));
  EXPECT_FALSE(form_.Button1->isHidden());  // "Закрыть"
  EXPECT_EQ(WEXITSTATUS(status), 0) << rest;
}

}  // namespace
}  // namespace qor::testing
