// The "Select Port" dialog under Qt's offscreen platform, with pseudo-terminals
// standing in for serial ports through the port table.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "dialogs/com_select_form.hpp"
#include "tests/device/pty_pair.hpp"

namespace qor::testing {
namespace {

class MappedPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("COM5", free_.Path().c_str(), 1);
    ::setenv("COM6", "/dev/no-such-serial-device", 1);
    ::setenv("COM7", held_.Path().c_str(), 1);
    ::setenv("COM51", beyond_.Path().c_str(), 1);
    holder_.SetComNumber(7);
    holder_.SetOpen(true);  // another program holds COM7
  }
  void TearDown() override {
    holder_.SetOpen(false);
    for (const char* name : {"COM5", "COM6", "COM7", "COM51"}) ::unsetenv(name);
  }
  QStringList Entries(const TComSelectForm& form) {
    QStringList list;
    for (int i = 0; i < form.PortsComboBox->count(); ++i) list << form.PortsComboBox->itemText(i);
    return list;
  }

  PtyPair free_, held_, beyond_;
  TQorComPort holder_;
};

TEST_F(MappedPorts, ListsOpenableAndHeldPortsUpToCom50) {
  TComSelectForm form;
  const QStringList entries = Entries(form);
  EXPECT_TRUE(entries.contains("COM5"));
  EXPECT_TRUE(entries.contains("COM7"));
  EXPECT_FALSE(entries.contains("COM6"));
  EXPECT_FALSE(entries.contains("COM51"));
  EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
  EXPECT_EQ(form.windowTitle(), "Select Port");
  EXPECT_GE(form.width(), 220);
  EXPECT_EQ(form.height(), 131);
  if (const char* shot = std::getenv("QOR_SCREENSHOT_DIR")) {
    form.grab().save(QString(shot) + "/select_port.png");
  }
}

TEST_F(MappedPorts, OkGivesTheChosenNumber) {
  TComSelectForm form;
  form.show();
  form.PortsComboBox->setCurrentIndex(form.PortsComboBox->findText("COM7"));
  QTest::mouseClick(form.OkBtn, Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(form.SelectedPortNumber(), 7);
}

// Clicks a button of the dialog once it is showing modally.
void ClickWhenShown(bool ok) {
  QTimer::singleShot(0, [ok] {
    auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
    if (form == nullptr) {
      ClickWhenShown(ok);
      return;
    }
    if (ok) form->PortsComboBox->setCurrentIndex(form->PortsComboBox->findText("COM5"));
    QTest::mouseClick(ok ? form->OkBtn : form->AbortBtn, Qt::LeftButton);
  });
}

TEST_F(MappedPorts, PortOpenedWithoutNumberAsksTheDialog) {
  InstallPortSelectionDialog();
  TQorComPort port;
  ClickWhenShown(false);
  try {
    port.SetOpen(true);
    ADD_FAILURE() << "no exception";
  } catch (const ENoPortSelected& e) {
    EXPECT_EQ(e.ErrorCode(), -2011);
  }
  EXPECT_FALSE(port.Open());

  ClickWhenShown(true);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.ComNumber(), 5);
  port.SetOpen(false);
  SetPortPrompt(nullptr);
}

TEST(SelectPortEmpty, OkWithNoEntryRaisesTheConversionError) {
  TComSelectForm form;
  form.PortsComboBox->clear();
  try {
    form.SelectedPortNumber();
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid integer value");
  }
}

}  // namespace
}  // namespace qor::testing

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
