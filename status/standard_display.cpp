#include "status/standard_display.hpp"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "protocols/component/protocol_component.hpp"
#include "status/meter.hpp"

namespace qor {

namespace {
// Rows within a panel, 16 and 17 pixels apart.
constexpr int kRows[] = {8, 24, 41, 57, 74, 90};
constexpr int kValueLeft = 64;
}  // namespace

TStandardDisplay::TStandardDisplay(QWidget* parent) : QWidget(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle("Protocol Status");
  setFixedSize(468, 319);
  // A status window left showing must not keep the program running.
  setAttribute(Qt::WA_QuitOnClose, false);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  QPalette text_palette = palette();
  text_palette.setColor(QPalette::WindowText, Qt::black);
  setPalette(text_palette);
  // Arial where installed, else its metric-compatible substitute.
  QFont font;
  font.setFamilies({"Arial", "Liberation Sans"});
  font.setPixelSize(12);
  setFont(font);

  psPanel1 = AddPanel(8, 8, 217, 113);
  QFrame* panel1 = psPanel1;
  psProtocol = AddRow(panel1, kRows[0], "Protocol:", "NoProtocol");
  psBlockCheck = AddRow(panel1, kRows[1], "Block check:", "NoBlockCheck");
  psFileName = AddRow(panel1, kRows[2], "File name:", "NoName");
  psFileSize = AddRow(panel1, kRows[3], "File size:", "999,999,999,999");
  psBlockSize = AddRow(panel1, kRows[4], "Block size:", "1024");
  psTotalBlocks = AddRow(panel1, kRows[5], "Total Blocks:", "999,999,999,999");

  QFrame* panel2 = AddPanel(240, 8, 217, 113);
  psBytesTransferred = AddRow(panel2, kRows[0], "Bytes transferred:", "999,999,999,999");
  psBytesRemaining = AddRow(panel2, kRows[1], "Bytes remaining:", "999,999,999,999");
  psBlocksTransferred = AddRow(panel2, kRows[2], "Blocks transferred:", "999,999,999,999");
  psBlocksRemaining = AddRow(panel2, kRows[3], "Blocks remaining:", "999,999,999,999");
  psBlockErrors = AddRow(panel2, kRows[4], "Block errors:", "999,999");
  psTotalErrors = AddRow(panel2, kRows[5], "Total errors:", "999,999");

  QFrame* panel3 = AddPanel(8, 128, 217, 65);
  psEstimatedTime = AddRow(panel3, kRows[0], "Estimated time:", "9999:99");
  psElapsedTime = AddRow(panel3, kRows[1], "Elapsed time:", "9999:99");
  psRemainingTime = AddRow(panel3, kRows[2], "Remaining time:", "9999:99");

  QFrame* panel4 = AddPanel(240, 128, 217, 65);
  psThroughput = AddRow(panel4, kRows[0], "Throughput:", "99999 CPS");
  psEfficiency = AddRow(panel4, kRows[1], "Efficiency:", "100 %");
  psKermitWindows = AddRow(panel4, kRows[2], "Kermit windows:", "99/99");

  QFrame* panel5 = AddPanel(8, 200, 449, 33);
  psStatusMsg = AddRow(panel5, kRows[0], "Status:", "OK");
  psStatusMsg->setGeometry(kValueLeft, kRows[0], 377, 15);
  psStatusMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  psPanel6 = AddPanel(8, 240, 449, 33);
  auto* progress = new QLabel("Progress:", psPanel6);
  progress->setGeometry(8, 9, 56, 15);
  Meter = new TQorMeter(psPanel6);
  Meter->setGeometry(64, 7, 377, 20);
  Meter->SetPosition(0);
  Meter->SetStep(10);

  psCancel = new QPushButton("Cancel", this);
  psCancel->setGeometry(189, 285, 89, 27);
  connect(psCancel, &QPushButton::clicked, this, [this] { CancelClick(); });
}

QFrame* TStandardDisplay::AddPanel(int left, int top, int width, int height) {
  auto* panel = new QFrame(this);
  panel->setGeometry(left, top, width, height);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panels_[static_cast<std::size_t>(panel_count_++)] = panel;
  return panel;
}

QLabel* TStandardDisplay::AddRow(QFrame* panel, int top, const char* caption, const char* initial) {
  auto* left = new QLabel(caption, panel);
  left->setGeometry(8, top, left->sizeHint().width(), 15);
  auto* value = new QLabel(initial, panel);
  value->setTextFormat(Qt::PlainText);
  value->setGeometry(kValueLeft, top, panel->width() - 8 - kValueLeft, 15);
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return value;
}

void TStandardDisplay::CancelClick() {
  if (Protocol != nullptr) Protocol->CancelTransfer();
}

void TStandardDisplay::SetWindowCtl3D(bool ctl3d) {
  ctl3d_ = ctl3d;
  // Without the 3-D look the panels get flat single-line frames.
  for (QFrame* panel : panels_) {
    panel->setFrameStyle(ctl3d ? QFrame::Panel | QFrame::Raised : QFrame::Box | QFrame::Plain);
  }
}

void TStandardDisplay::SetWindowCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void TStandardDisplay::setVisible(bool visible) {
  if (visible && !isVisible()) PlaceWindow();
  QWidget::setVisible(visible);
}

void TStandardDisplay::PlaceWindow() {
  QRect area;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
      area = screen()->availableGeometry();
      break;
    case poMainFormCenter:
    case poOwnerFormCenter:
      // The window the user works in stands for the main and the owner form.
      area = QApplication::activeWindow() != nullptr ? QApplication::activeWindow()->frameGeometry()
                                                     : screen()->availableGeometry();
      break;
    default:
      return;  // where it was, or where the window system puts it
  }
  move(area.center() - rect().center());
}

}  // namespace qor
