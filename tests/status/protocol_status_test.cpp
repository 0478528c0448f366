// The standard status window fed by a protocol component.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include "comm/comport/com_port.hpp"
#include "comm/platform/message_queue.hpp"
#include "protocols/component/protocol_component.hpp"
#include "status/meter.hpp"
#include "status/protocol_status.hpp"
#include "status/standard_display.hpp"
#include "tests/device/pty_pair.hpp"

namespace qor::testing {
namespace {

// Runs both loops, the library's and Qt's, until pred holds or ms pass.
bool PumpUntil(const std::function<bool()>& pred, int ms = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    while (platform::ProcessOneMessage() != platform::PumpResult::None) {
    }
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void Report(TQorProtocol& protocol, std::uint32_t options) {
  platform::SendMessageTimeout(protocol.MessageWindow(), kMsgProtocolStatus, options, 0, 1000,
                               false, nullptr);
}

TEST(StandardDisplay, HasTheLayoutAndInitialTexts) {
  TQorProtocolStatus status;
  TStandardDisplay& window = *status.Window();
  EXPECT_EQ(window.windowTitle(), "Protocol Status");
  EXPECT_EQ(window.size(), QSize(468, 319));
  EXPECT_EQ(window.font().pixelSize(), 12);
  EXPECT_EQ(QFontInfo(window.font()).family(), "Liberation Sans");
  EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
  const std::pair<QLabel*, const char*> initial[] = {{window.psProtocol, "NoProtocol"},
                                                     {window.psBlockCheck, "NoBlockCheck"},
                                                     {window.psFileName, "NoName"},
                                                     {window.psFileSize, "999,999,999,999"},
                                                     {window.psBlockSize, "1024"},
                                                     {window.psTotalBlocks, "999,999,999,999"},
                                                     {window.psBytesTransferred, "999,999,999,999"},
                                                     {window.psBlocksRemaining, "999,999,999,999"},
                                                     {window.psBlockErrors, "999,999"},
                                                     {window.psTotalErrors, "999,999"},
                                                     {window.psEstimatedTime, "9999:99"},
                                                     {window.psThroughput, "99999 CPS"},
                                                     {window.psEfficiency, "100 %"},
                                                     {window.psKermitWindows, "99/99"},
                                                     {window.psStatusMsg, "OK"}};
  for (const auto& [label, text] : initial) EXPECT_EQ(label->text(), text);
  EXPECT_EQ(window.psPanel1->geometry(), QRect(8, 8, 217, 113));
  EXPECT_EQ(window.psPanel6->geometry(), QRect(8, 240, 449, 33));
  EXPECT_EQ(window.Meter->parentWidget(), window.psPanel6);
  EXPECT_EQ(window.Meter->geometry(), QRect(64, 7, 377, 20));
  EXPECT_EQ(window.Meter->Step(), 10);
  EXPECT_EQ(window.psCancel->geometry(), QRect(189, 285, 89, 27));
  EXPECT_EQ(window.psCancel->text(), "Cancel");
  EXPECT_EQ(window.psFileSize->alignment() & Qt::AlignRight, Qt::AlignRight);
  EXPECT_EQ(window.psStatusMsg->alignment() & Qt::AlignLeft, Qt::AlignLeft);
  // Every text fits its label and stays inside its panel.
  for (QLabel* label : window.findChildren<QLabel*>()) {
    EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    EXPECT_LE(label->geometry().right(), label->parentWidget()->width() - 4)
        << label->text().toStdString();
  }
  if (const char* dir = std::getenv("QOR_SCREENSHOT_DIR")) {
    window.grab().save(QString(dir) + "/status_initial.png");
  }
}

TEST(ProtocolStatus, TakesTheWindowSettingsAndPassesChangesOn) {
  TQorProtocolStatus status;
  TStandardDisplay& window = *status.Window();
  EXPECT_EQ(status.Caption(), "Protocol Status");
  EXPECT_EQ(status.Position(), poScreenCenter);
  EXPECT_TRUE(status.Ctl3D());
  EXPECT_FALSE(status.Visible());

  status.SetCaption("Upload");
  EXPECT_EQ(window.windowTitle(), "Upload");
  status.SetCtl3D(false);
  EXPECT_EQ(window.psPanel1->frameShadow(), QFrame::Plain);
  status.SetVisible(true);
  EXPECT_TRUE(window.isVisible());
  status.SetDisplayVisible(false);  // the window alone
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(status.Visible());
}

class StatusOfProtocol : public ::testing::Test {
 protected:
  void SetUp() override {
    protocol_.SetComPort(&port_);
    protocol_.SetStatusDisplay(&status_);
    protocol_.SetProtocolType(ptKermit);
    protocol_.SetBlockCheckMethod(bcmChecksum);
    protocol_.SetOverhead(0);
    protocol_.SetTurnDelay(0);
    protocol_.SetFileName("/images/kernel_image_for_m9_1.bin");
    TProtocolData& d = protocol_.Data();
    d.FileLength = 115200;
    d.BlockLength = 1000;
    d.TransferredCount = 57600;
    d.ElapsedTicks = 1820;  // 100 seconds
    d.CharsPerSecond = 1152;
    d.BlockErrors = 2;
    d.TotalErrors = 5;
    d.ProtocolStatus = psTimeout;
  }
  TStandardDisplay& Window() { return *status_.Window(); }

  TQorComPort port_;  // closed: nothing waits in its output
  TQorProtocolStatus status_;
  TQorProtocol protocol_;
};

TEST_F(StatusOfProtocol, UpdateValuesShowsEveryFigure) {
  Window().UpdateValues(protocol_);
  TStandardDisplay& w = Window();
  const std::pair<QLabel*, QString> expected[] = {
      {w.psProtocol, "Kermit"},
      {w.psBlockCheck, "Checksum"},
      {w.psFileName, "kernel_image_for_m..."},  // 25 characters: 18 and "..."
      {w.psFileSize, "115200"},
      {w.psBlockSize, "1000"},
      {w.psTotalBlocks, "115"},
      {w.psBytesTransferred, "57600"},
      {w.psBytesRemaining, "57600"},
      {w.psBlocksTransferred, "57"},
      {w.psBlocksRemaining, "58"},
      {w.psBlockErrors, "2"},
      {w.psTotalErrors, "5"},
      {w.psEstimatedTime, "  1:40"},  // 115200 bytes at 1152 a second
      {w.psElapsedTime, "  1:40"},
      {w.psRemainingTime, "  0:50"},
      {w.psThroughput, "  576 CPS"},
      {w.psEfficiency, " 50%"},
      {w.psKermitWindows, QString::number(protocol_.KermitWindowsUsed())},
      {w.psStatusMsg, "Time out in protocol"}};
  for (const auto& [label, text] : expected) EXPECT_EQ(label->text(), text);
  EXPECT_EQ(w.Meter->Min(), 0);
  EXPECT_EQ(w.Meter->Max(), 100);
  EXPECT_EQ(w.Meter->Position(), 50);
  EXPECT_EQ(w.LastPercentage, 50);
  if (const char* dir = std::getenv("QOR_SCREENSHOT_DIR")) {
    w.grab().save(QString(dir) + "/status_values.png");
  }
}

struct TimeCase {
  std::int32_t elapsed_ticks, chars_per_second;
  const char *elapsed, *throughput, *efficiency;
};

class StatusTimes : public StatusOfProtocol, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(StatusTimes, ElapsedTimeThroughputAndEfficiency) {
  const TimeCase& c = GetParam();
  protocol_.Data().ElapsedTicks = c.elapsed_ticks;
  protocol_.Data().CharsPerSecond = c.chars_per_second;
  Window().UpdateValues(protocol_);
  EXPECT_EQ(Window().psElapsedTime->text(), c.elapsed);
  EXPECT_EQ(Window().psThroughput->text(), c.throughput);
  EXPECT_EQ(Window().psEfficiency->text(), c.efficiency);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusTimes,
    ::testing::Values(TimeCase{0, 1152, "  0:00", "    0 CPS", "  0%"},
                      TimeCase{1357, 1152, "  1:15", "  773 CPS", " 67%"},
                      TimeCase{1820, 0, "  1:40", "  576 CPS", "  0%"},  // no line rate
                      TimeCase{67811, 1152, " 62:05", "   15 CPS", "  1%"},
                      TimeCase{10923905, 1152, "10000:00", "    0 CPS", "  0%"}));

struct NameCase {
  const char* path;
  QString shown;
};

class StatusNames : public StatusOfProtocol, public ::testing::WithParamInterface<NameCase> {};

TEST_P(StatusNames, ShowsTheNameCutTo18Characters) {
  protocol_.SetFileName(GetParam().path);
  Window().UpdateValues(protocol_);
  EXPECT_EQ(Window().psFileName->text(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusNames,
    ::testing::Values(NameCase{"/images/exactly_18_chars.b", "exactly_18_chars.b"},
                      NameCase{"C:\\images\\root.cra", "root.cra"}, NameCase{"/x/a:b.bin", "b.bin"},
                      // Characters, not bytes: a Cyrillic name is not cut inside a letter.
                      NameCase{"/образы/ядро_ресивера_стеликс.bin",
                               QString::fromUtf8("ядро_ресивера_стел...")}));

struct PercentCase {
  std::int32_t file_size, transferred;
  std::uint16_t percent;
};

class StatusPercent : public StatusOfProtocol, public ::testing::WithParamInterface<PercentCase> {};

TEST_P(StatusPercent, RoundsHalvesToEvenAsSixteenBits) {
  protocol_.Data().FileLength = GetParam().file_size;
  protocol_.Data().TransferredCount = GetParam().transferred;
  Window().UpdateValues(protocol_);
  EXPECT_EQ(Window().LastPercentage, GetParam().percent);
  EXPECT_EQ(Window().Meter->Position(), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(Cases, StatusPercent,
                         ::testing::Values(PercentCase{200, 1, 0}, PercentCase{200, 3, 2},
                                           PercentCase{200, 5, 2}, PercentCase{0, 10, 0},
                                           PercentCase{100, 150, 150},
                                           PercentCase{1, 1000, 34464}));  // 100000 mod 65536

TEST_F(StatusOfProtocol, FirstReportShowsAndFillsLastHidesWithoutChanging) {
  Report(protocol_, kStatusFirst);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(Window().psFileSize->text(), "115200");
  EXPECT_EQ(Window().Protocol, &protocol_);

  protocol_.Data().FileLength = 1;
  Report(protocol_, kStatusLast);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Window().psFileSize->text(), "115200");
}

TEST_F(StatusOfProtocol, HiddenWindowIsRefreshedButNotShownUntilTheNextFirstReport) {
  Report(protocol_, kStatusFirst);
  status_.SetDisplayVisible(false);
  protocol_.Data().FileLength = 4242;
  Report(protocol_, kStatusPlain);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Window().psFileSize->text(), "4242");
  Report(protocol_, kStatusFirst);
  EXPECT_TRUE(Window().isVisible());
  Report(protocol_, kStatusLast);
}

TEST(ProtocolStatus, ForgetsAProtocolThatIsGone) {
  TQorProtocolStatus status;
  {
    TQorProtocol protocol;
    protocol.SetStatusDisplay(&status);
    status.UpdateDisplay(true, false);
    EXPECT_EQ(status.Window()->Protocol, &protocol);
  }
  EXPECT_EQ(status.Protocol(), nullptr);
  EXPECT_EQ(status.Window()->Protocol, nullptr);
  status.UpdateDisplay(false, false);  // nothing to show, nothing to crash on
  QTest::mouseClick(status.Window()->psCancel, Qt::LeftButton);
  status.Window()->hide();
}

// A Kermit upload to a line where nobody answers: the first report shows the
// window, Cancel ends the transfer and the last report hides the window.
TEST(ProtocolStatus, CancelButtonCancelsTheTransfer) {
  PtyPair line;
  ::setenv("COM9", line.Path().c_str(), 1);
  const std::string image = ::testing::TempDir() + "status_cancel.bin";
  std::ofstream(image, std::ios::binary) << std::string(20000, 'x');

  TQorComPort port;
  port.SetComNumber(9);
  port.SetOpen(true);
  TQorProtocolStatus status;
  TQorProtocol protocol;
  protocol.SetComPort(&port);
  protocol.SetStatusDisplay(&status);
  protocol.SetProtocolType(ptKermit);
  protocol.SetFileMask(image);
  bool finished = false;
  std::int32_t code = 0;
  protocol.OnProtocolFinish = [&](TQorCustomProtocol&, std::int32_t error) {
    finished = true;
    code = error;
  };
  protocol.StartTransmit();
  ASSERT_TRUE(PumpUntil([&] { return status.Window()->isVisible(); }));
  ASSERT_FALSE(finished);
  QTest::mouseClick(status.Window()->psCancel, Qt::LeftButton);
  ASSERT_TRUE(PumpUntil([&] { return finished; }));
  EXPECT_EQ(code, -6005);  // "Cancel requested"
  EXPECT_FALSE(status.Window()->isVisible());
  port.SetOpen(false);
  ::unsetenv("COM9");
}

}  // namespace
}  // namespace qor::testing
