// How the wizard window looks: places, texts, fonts, colours, pictures.
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <cstdlib>

#include "app/wizard/jpeg_image.hpp"
#include "tests/wizard/wizard_fixture.hpp"

namespace qor::testing {
namespace {

QStringList Texts(QWidget* page) {
  QStringList texts;
  for (QLabel* label : page->findChildren<QLabel*>()) texts << label->text();
  return texts;
}

TEST_F(WizardTest, WindowIsAFixedWhiteDialog) {
  EXPECT_EQ(form_.windowTitle(), "StellixUp 1.0.0 ");
  EXPECT_EQ(form_.size(), QSize(362, 324));
  EXPECT_EQ(form_.minimumSize(), form_.maximumSize());
  EXPECT_FALSE(form_.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form_.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form_.font().pixelSize(), 11);
  EXPECT_EQ(QFontInfo(form_.font()).family(), "Liberation Sans");
}

TEST_F(WizardTest, ControlsStandWhereTheyBelong) {
  form_.show();
  const std::pair<QWidget*, QRect> places[] = {
      {form_.Label2, {33, 9, 297, 19}},    {form_.PageControl1, {8, 26, 351, 226}},
      {form_.Button4, {14, 265, 101, 25}}, {form_.Button1, {14, 280, 101, 25}},
      {form_.Button3, {14, 294, 101, 25}}, {form_.Image2, {0, 256, 362, 68}},
      {form_.Image1, {158, 256, 196, 68}}, {form_.PortList, {47, 12, 294, 21}},
      {form_.Edit1, {47, 12, 213, 21}},    {form_.ProgressBar1, {39, 6, 302, 15}},
      {form_.LogMemo, {0, 44, 343, 174}},
  };
  for (const auto& [widget, place] : places) {
    EXPECT_EQ(widget->geometry(), place) << widget->metaObject()->className();
  }
  EXPECT_EQ(form_.OpenBtn->pos(), QPoint(264, 10));
  EXPECT_EQ(form_.TabSheet1->size(), QSize(343, 218));  // the page control's border is 4
  // The buttons lie over the pictures.
  EXPECT_EQ(form_.childAt(form_.Button4->geometry().center()), form_.Button4);
  EXPECT_EQ(form_.childAt(form_.Button3->geometry().center()), form_.Button3);
}

TEST_F(WizardTest, StartsWithTheInitialStateOfEveryControl) {
  EXPECT_EQ(form_.Label2->text(), "Serial Recover Utility for Stellix M9");
  EXPECT_TRUE(form_.Label2->font().bold());
  EXPECT_EQ(form_.Label2->font().pixelSize(), 16);
  EXPECT_TRUE(form_.Button1->isHidden());
  EXPECT_EQ(form_.Button1->text(), "Закрыть");
  EXPECT_EQ(form_.Button3->text(), "Назад");
  EXPECT_TRUE(form_.RadioButton1->isChecked());
  EXPECT_FALSE(form_.RadioButton2->isChecked());
  EXPECT_TRUE(form_.Edit1->isReadOnly());
  EXPECT_FALSE(form_.PortList->isEditable());
  EXPECT_EQ(form_.PageControl1->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(form_.ProgressBar1->minimum(), 0);
  EXPECT_EQ(form_.ProgressBar1->maximum(), 100);
  EXPECT_EQ(form_.InfoLabel->text(), "ожидание подключения ресивера");
  EXPECT_EQ(form_.InfoLabel->palette().color(QPalette::WindowText), QColor(0, 81, 34));
  EXPECT_TRUE(form_.InfoLabel->font().bold());
  EXPECT_EQ(form_.InfoLabel->font().pixelSize(), 9);
  EXPECT_TRUE(form_.LogMemo->toPlainText().isEmpty());
  EXPECT_EQ(form_.LogMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(WizardTest, PagesCarryTheirTexts) {
  const std::pair<QWidget*, QStringList> pages[] = {
      {form_.TabSheet1,
       {"ПОРТ", "ШАГ 1",
        "Перед началом процесса прошивки ресивера Stellix M9 выключите его выключателем "
        "расположеным на задней стороне корпуса",
        "ШАГ 2",
        "Подключите дата-кабель, одной стороной к ком-порту вашего компьютера, другой стороной "
        "к разъему вашего ресивера",
        "ШАГ 3",
        "Выберте номер ком-порта компьютера к которому произведено подключение и нажмите "
        "кнопку \"Далее\" "}},
      {form_.TabSheet2,
       {"ФАЙЛ", "ШАГ 4", "Определите тип прошивки ресивера", "ШАГ 5",
        "Нажмите на кнопку \"Обзор\" и выберите необходимый для загрузки в ресивер, файл", "ШАГ 6",
        "Нажмите кнопку \"Готово\"  и следуте  дальнейшим инструкциям"}},
      {form_.TabSheet3,
       {"Включите ресивер выключателем расположеным на задней стороне корпуса, после чего "
        "прошивка ресивера начнется автоматически",
        "Дождитесь полного окончания  процесса прошивки, после чего Выключите и Включите "
        "ресивер выключателем расположеным на задней стороне ресивера"}},
      {form_.TabSheet4, {"процес", "детали:", "ожидание подключения ресивера"}},
  };
  for (const auto& [page, texts] : pages) EXPECT_EQ(Texts(page), texts);
  EXPECT_EQ(form_.OpenBtn->text(), "Обзор...");
  EXPECT_EQ(form_.RadioButton1->text(), "Прошивка Ядра");
  EXPECT_EQ(form_.RadioButton2->text(), "Прошивка RootFS");
}

TEST_F(WizardTest, InstructionsAreGreenBoldAndCaptionsBlack) {
  for (QLabel* label :
       form_.TabSheet1->findChildren<QLabel*>() + form_.TabSheet2->findChildren<QLabel*>()) {
    // Bold Tahoma falls back to the Arial substitute, whose bold is really bold.
    EXPECT_EQ(QFontInfo(label->font()).family(), "Liberation Sans") << label->text().toStdString();
    EXPECT_TRUE(label->font().bold());
    const QColor expected = label->wordWrap() ? QColor(0, 128, 0) : QColor(Qt::black);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), expected)
        << label->text().toStdString();
  }
  EXPECT_EQ(QFontInfo(form_.RadioButton2->font()).family(), "Liberation Sans");
  EXPECT_TRUE(form_.RadioButton2->font().bold());
}

TEST_F(WizardTest, EveryTextFitsItsPlace) {
  for (QLabel* label : form_.findChildren<QLabel*>()) {
    // Not the pictures, nor the file dialog's labels.
    if (label->text().isEmpty() || label->window() != &form_) continue;
    const QString text = label->text();
    if (label->wordWrap()) {
      EXPECT_LE(label->heightForWidth(label->width()), label->height()) << text.toStdString();
    } else {
      EXPECT_LE(label->sizeHint().width(), label->width()) << text.toStdString();
    }
  }
  for (QRadioButton* radio : form_.findChildren<QRadioButton*>()) {
    EXPECT_LE(radio->sizeHint().width(), radio->width()) << radio->text().toStdString();
  }
  // Push buttons: the text with room for the frame (the style's hint adds a
  // minimum width of its own).
  for (QPushButton* button : form_.findChildren<QPushButton*>()) {
    if (button->window() != &form_) continue;
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 16, button->width())
        << button->text().toStdString();
  }
}

TEST_F(WizardTest, BannersAreDecodedFromTheProgram) {
  EXPECT_EQ(form_.Image1->pixmap().size(), QSize(196, 68));
  EXPECT_EQ(form_.Image2->pixmap().size(), QSize(4, 68));
  EXPECT_TRUE(form_.Image2->hasScaledContents());
  // The strip: a light line over a blue gradient that darkens upwards.
  const QImage strip = form_.Image2->pixmap().toImage();
  const QColor top = strip.pixelColor(1, 2), bottom = strip.pixelColor(1, 66);
  EXPECT_GT(top.blue(), top.red());
  EXPECT_GT(bottom.lightness(), top.lightness());
  EXPECT_GT(strip.pixelColor(1, 0).lightness(), top.lightness());
}

TEST(Jpeg, NotAJpegGivesANullImage) {
  EXPECT_TRUE(app::DecodeJpeg(QByteArray()).isNull());
  EXPECT_TRUE(app::DecodeJpeg(QByteArray("not a picture at all")).isNull());
  EXPECT_TRUE(app::DecodeJpeg(QByteArray("\xFF\xD8\xFF\xE0 broken", 12)).isNull());
}

TEST_F(WizardTest, ScreenshotsOfEveryPage) {
  const char* dir = std::getenv("QOR_SCREENSHOT_DIR");
  if (dir == nullptr) GTEST_SKIP() << "QOR_SCREENSHOT_DIR not set";
  form_.show();
  form_.Edit1->setText("/home/user/images/kernel.img");
  form_.LogMemo->appendPlainText(
      "Порт: COM1\nРежим прошивки: KERNEL\nЗагружаемый файл: "
      "/home/user/images/kernel.img\nОжидаем подключение...");
  form_.ProgressBar1->setValue(40);
  for (int page = 0; page < 4; ++page) {
    form_.GoToPage(page - form_.PageIndex);
    if (page == 2) form_.HideNavigationButtons();  // as "Готово" leaves them
    EXPECT_TRUE(form_.grab().save(QString("%1/wizard_page%2.png").arg(dir).arg(page)));
  }
}

}  // namespace
}  // namespace qor::testing
