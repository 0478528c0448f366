// Page navigation, the port list and the image type of the wizard window.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <functional>
#include <map>

#include "comm/platform/exception_display.hpp"
#include "tests/wizard/wizard_fixture.hpp"

namespace qor::testing {
namespace {

struct PageState {
  const char* action;
  int page;
  const char* button4;
  bool button4_enabled;
  bool button3_enabled;
};

TEST_F(WizardTest, PagesAndButtonsFollowTheLifecycle) {
  const QString image = ImageFile("kernel.img", std::string(kKernelStart) + "payload");
  const std::map<std::string, std::function<void()>> actions = {
      {"start", [] {}},
      {"next", [&] { QTest::mouseClick(form_.Button4, Qt::LeftButton); }},
      {"back", [&] { QTest::mouseClick(form_.Button3, Qt::LeftButton); }},
      {"accept file",
       [&] {
         bool can_close = true;
         form_.OpenDialog1CanClose(image, can_close);
       }},
  };
  const PageState steps[] = {
      {"start", 0, "Далее", true, false},
      {"next", 1, "Готово", false, true},  // no file yet
      {"back", 0, "Далее", true, false},   // going back always enables "Далее"
      {"next", 1, "Готово", false, true},
      {"accept file", 1, "Готово", true, true},
      {"back", 0, "Далее", true, false},
      {"next", 1, "Готово", true, true},  // the file is still there
  };
  for (const PageState& s : steps) {
    actions.at(s.action)();
    SCOPED_TRACE(s.action);
    EXPECT_EQ(form_.PageIndex, s.page);
    EXPECT_EQ(form_.PageControl1->currentIndex(), s.page);
    EXPECT_EQ(form_.Button4->text(), QString(s.button4));
    EXPECT_EQ(form_.Button4->isEnabled(), s.button4_enabled);
    EXPECT_EQ(form_.Button3->isEnabled(), s.button3_enabled);
  }
}

TEST_F(WizardTest, GoToPageStaysWithinThePages) {
  form_.GoToPage(-5);
  EXPECT_EQ(form_.PageIndex, 0);
  form_.GoToPage(+9);
  EXPECT_EQ(form_.PageIndex, 3);
  EXPECT_EQ(form_.Button4->text(), "Далее");
  EXPECT_TRUE(form_.Button3->isEnabled());
}

TEST_F(WizardTest, PortListIsSortedAsTextAndLeavesThePortNumberAlone) {
  QStringList entries;
  for (int i = 0; i < form_.PortList->count(); ++i) entries << form_.PortList->itemText(i);
  EXPECT_EQ(entries, QStringList({"COM1", "COM10", "COM2"}));
  EXPECT_EQ(form_.PortList->currentText(), "COM1");
  EXPECT_EQ(form_.SockPort.ComNumber(), 1);
}

TEST(WizardPorts, NoPortsLeavesTheListEmpty) {
  app::TForm1 form(MadeUpPorts({}));
  EXPECT_EQ(form.PortList->count(), 0);
  EXPECT_EQ(form.PortList->currentIndex(), -1);
  EXPECT_EQ(form.SockPort.ComNumber(), 1);
}

TEST_F(WizardTest, ChoosingAPortSetsItsNumber) {
  form_.PortList->setFocus();
  QTest::keyClick(form_.PortList, Qt::Key_Down);  // the user picks COM10
  EXPECT_EQ(form_.PortList->currentText(), "COM10");
  EXPECT_EQ(form_.SockPort.ComNumber(), 10);
}

struct BadEntry {
  const char* entry;
  const char* message;
};

TEST_F(WizardTest, EntryWithoutANumberRaisesTheConversionError) {
  form_.SockPort.SetComNumber(2);
  for (const BadEntry& bad : {BadEntry{"COMX", "'X' is not a valid integer value"},
                              BadEntry{"COM", "'' is not a valid integer value"},
                              BadEntry{"COM-3", "'-3' is not a valid integer value"}}) {
    form_.PortList->addItem(bad.entry);
    form_.PortList->setCurrentIndex(form_.PortList->count() - 1);
    try {
      form_.PortListChange();
      ADD_FAILURE() << bad.entry;
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), bad.message);
    }
    EXPECT_EQ(form_.SockPort.ComNumber(), 2);
  }
}

TEST_F(WizardTest, ConversionErrorOfAUserChoiceGoesToTheExceptionDisplay) {
  std::vector<std::string> shown;
  const auto previous =
      platform::SetExceptionDisplay([&](const std::exception& e) { shown.emplace_back(e.what()); });
  form_.PortList->addItem("COMX");  // after COM2
  form_.PortList->setCurrentIndex(2);
  form_.PortList->setFocus();
  QTest::keyClick(form_.PortList, Qt::Key_Down);
  platform::SetExceptionDisplay(previous);
  EXPECT_EQ(shown, std::vector<std::string>{"'X' is not a valid integer value"});
  EXPECT_EQ(form_.SockPort.ComNumber(), 1);
}

struct TypeCase {
  std::string_view image_start;  // an image of the type chosen before the click
  QRadioButton* app::TForm1::*radio;
  const char* menu_answer;
  const char* filter;
  const char* name_filter;
};

TEST_F(WizardTest, ImageTypeSetsMenuAnswerAndFilterAndClearsTheFile) {
  EXPECT_EQ(form_.Recovery.GetMenuAnswer(), "2\n\r");  // until the user changes the type
  EXPECT_EQ(form_.OpenDialog1.Filter(), "Stellix Kernel|*.*");
  form_.GoToPage(1);
  const TypeCase cases[] = {
      {kKernelStart, &app::TForm1::RadioButton2, "3\r\n", "Stellix RootFS|root.cra",
       "Stellix RootFS (root.cra)"},
      {kRootFsStart, &app::TForm1::RadioButton1, "2\r\n", "Stellix Kernel|*.*",
       "Stellix Kernel (*)"},
  };
  for (const TypeCase& c : cases) {
    bool can_close = true;
    form_.OpenDialog1CanClose(ImageFile("image.img", c.image_start), can_close);
    ASSERT_TRUE(form_.Button4->isEnabled());
    QTest::mouseClick(form_.*c.radio, Qt::LeftButton);
    EXPECT_EQ(form_.Recovery.GetMenuAnswer(), c.menu_answer);
    EXPECT_EQ(form_.OpenDialog1.Filter(), c.filter);
    EXPECT_EQ(form_.OpenDialog1.NameFilters(), QStringList{c.name_filter});
    EXPECT_TRUE(form_.Edit1->text().isEmpty());
    EXPECT_FALSE(form_.Button4->isEnabled());
  }
  // A click on the type already chosen changes nothing.
  const QString image = ImageFile("kernel.img", kKernelStart);
  bool can_close = true;
  form_.OpenDialog1CanClose(image, can_close);
  QTest::mouseClick(form_.RadioButton1, Qt::LeftButton);
  EXPECT_EQ(form_.Edit1->text(), image);
  EXPECT_TRUE(form_.Button4->isEnabled());
}

}  // namespace
}  // namespace qor::testing
