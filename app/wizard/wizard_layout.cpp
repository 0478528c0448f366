// The wizard window's controls, where they stand and how they look.
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include "app/wizard/jpeg_image.hpp"
#include "app/wizard/wizard_fonts.hpp"
#include "app/wizard/wizard_form.hpp"

namespace qor::app {

namespace {

const QColor kInstructionColor(0, 128, 0);
const QColor kInfoColor(0, 81, 34);
// Page client area: the page control less its 4-pixel border.
constexpr int kPageWidth = 343;
// The three steps of a page: a caption column, a rule, the instruction.
constexpr int kStepTops[] = {50, 106, 162};
constexpr int kStepHeight = 50;
constexpr int kTextLeft = 52;
constexpr int kTextWidth = kPageWidth - kTextLeft - 4;

QLabel* AddLabel(QWidget* parent, const QString& text, const QFont& font, const QColor& color,
                 const QRect& place) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  label->setGeometry(place);
  return label;
}

QLabel* AddCaption(QWidget* page, const QString& text, const QRect& place) {
  return AddLabel(page, text, TahomaFont(11, true), Qt::black, place);
}

QLabel* AddInstruction(QWidget* page, const QString& text, const QRect& place) {
  QLabel* label = AddLabel(page, text, TahomaFont(11, true), kInstructionColor, place);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

void AddRule(QWidget* page, Qt::Orientation orientation, const QRect& place) {
  auto* rule = new QFrame(page);
  rule->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule->setGeometry(place);
}

// "ШАГ n" at the left, a vertical rule, the instruction at the right, and a
// rule under all three except below the page's last step.
void AddStep(QWidget* page, int row, const QString& caption, const QString& text) {
  const int top = kStepTops[row];
  AddCaption(page, caption, QRect(4, top, 42, kStepHeight));
  AddRule(page, Qt::Vertical, QRect(45, top, 2, kStepHeight));
  AddInstruction(page, text, QRect(kTextLeft, top, kTextWidth, kStepHeight));
  if (row < 2) AddRule(page, Qt::Horizontal, QRect(0, top + kStepHeight + 2, kPageWidth, 2));
}

QPixmap Banner(const char* resource) {
  QFile file(resource);
  return file.open(QIODevice::ReadOnly) ? QPixmap::fromImage(DecodeJpeg(file.readAll()))
                                        : QPixmap();
}

}  // namespace

void TForm1::CreateControls() {
  setWindowTitle(QString(kApplicationTitle) + " ");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(362, 324);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
  setFont(ArialFont(11));

  CreateBanners();
  Label2 = AddLabel(this, "Serial Recover Utility for Stellix M9", ArialFont(16, true), Qt::black,
                    QRect(33, 9, 297, 19));

  PageControl1 = new QStackedWidget(this);
  PageControl1->setGeometry(8, 26, 351, 226);
  PageControl1->setContentsMargins(4, 4, 4, 4);
  PageControl1->setFocusPolicy(Qt::NoFocus);
  CreatePortPage();
  CreateFilePage();
  CreateSwitchOnPage();
  CreateProgressPage();

  // Over the banners.
  Button4 = new QPushButton("Далее", this);
  Button4->setGeometry(14, 265, 101, 25);
  Button1 = new QPushButton("Закрыть", this);
  Button1->setGeometry(14, 280, 101, 25);
  Button1->hide();
  Button3 = new QPushButton("Назад", this);
  Button3->setGeometry(14, 294, 101, 25);
  Button3->setEnabled(false);

  OpenDialog1.SetFilter("Stellix Kernel|*.*");
}

void TForm1::CreateBanners() {
  Image2 = new QLabel(this);
  Image2->setGeometry(0, 256, 362, 68);
  Image2->setScaledContents(true);
  Image2->setPixmap(Banner(":/banners/banner_strip.jpg"));
  Image1 = new QLabel(this);
  Image1->setGeometry(158, 256, 196, 68);
  Image1->setPixmap(Banner(":/banners/banner_receiver.jpg"));
}

void TForm1::CreatePortPage() {
  TabSheet1 = new QWidget;
  PageControl1->addWidget(TabSheet1);
  AddCaption(TabSheet1, "ПОРТ", QRect(4, 12, 42, 21));
  PortList = new QComboBox(TabSheet1);
  PortList->setEditable(false);
  PortList->setGeometry(47, 12, 294, 21);
  AddRule(TabSheet1, Qt::Horizontal, QRect(0, 42, kPageWidth, 2));
  AddStep(TabSheet1, 0, "ШАГ 1",
          "Перед началом процесса прошивки ресивера Stellix M9 выключите его выключателем "
          "расположеным на задней стороне корпуса");
  AddStep(TabSheet1, 1, "ШАГ 2",
          "Подключите дата-кабель, одной стороной к ком-порту вашего компьютера, другой "
          "стороной к разъему вашего ресивера");
  AddStep(TabSheet1, 2, "ШАГ 3",
          "Выберте номер ком-порта компьютера к которому произведено подключение и нажмите "
          "кнопку \"Далее\" ");
}

void TForm1::CreateFilePage() {
  TabSheet2 = new QWidget;
  PageControl1->addWidget(TabSheet2);
  AddCaption(TabSheet2, "ФАЙЛ", QRect(4, 12, 42, 21));
  Edit1 = new QLineEdit(TabSheet2);
  Edit1->setReadOnly(true);
  Edit1->setGeometry(47, 12, 213, 21);
  OpenBtn = new QPushButton("Обзор...", TabSheet2);
  OpenBtn->setGeometry(264, 10, 77, 25);
  AddRule(TabSheet2, Qt::Horizontal, QRect(0, 42, kPageWidth, 2));

  // Step 4 shares its place with the two image types.
  const int top = kStepTops[0];
  AddCaption(TabSheet2, "ШАГ 4", QRect(4, top, 42, kStepHeight));
  AddRule(TabSheet2, Qt::Vertical, QRect(45, top, 2, kStepHeight));
  AddInstruction(TabSheet2, "Определите тип прошивки ресивера",
                 QRect(kTextLeft, top + 2, kTextWidth, 18));
  RadioButton1 = new QRadioButton("Прошивка Ядра", TabSheet2);
  RadioButton1->setFont(ArialFont(11, true));
  RadioButton1->setGeometry(kTextLeft, top + 24, 130, 20);
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Прошивка RootFS", TabSheet2);
  RadioButton2->setFont(ArialFont(11, true));
  RadioButton2->setGeometry(kTextLeft + 140, top + 24, 140, 20);
  AddRule(TabSheet2, Qt::Horizontal, QRect(0, top + kStepHeight + 2, kPageWidth, 2));

  AddStep(TabSheet2, 1, "ШАГ 5",
          "Нажмите на кнопку \"Обзор\" и выберите необходимый для загрузки в ресивер, файл");
  AddStep(TabSheet2, 2, "ШАГ 6", "Нажмите кнопку \"Готово\"  и следуте  дальнейшим инструкциям");
}

void TForm1::CreateSwitchOnPage() {
  TabSheet3 = new QWidget;
  PageControl1->addWidget(TabSheet3);
  AddInstruction(TabSheet3,
                 "Включите ресивер выключателем расположеным на задней стороне корпуса, после "
                 "чего прошивка ресивера начнется автоматически",
                 QRect(8, 24, kPageWidth - 16, 64));
  AddRule(TabSheet3, Qt::Horizontal, QRect(0, 104, kPageWidth, 2));
  AddInstruction(TabSheet3,
                 "Дождитесь полного окончания  процесса прошивки, после чего Выключите и "
                 "Включите ресивер выключателем расположеным на задней стороне ресивера",
                 QRect(8, 122, kPageWidth - 16, 64));
}

void TForm1::CreateProgressPage() {
  TabSheet4 = new QWidget;
  PageControl1->addWidget(TabSheet4);
  // Smaller than the step captions: the design leaves them 39 pixels.
  const QFont small_caption = TahomaFont(9, true);
  AddLabel(TabSheet4, "процес", small_caption, Qt::black, QRect(0, 5, 39, 17));
  ProgressBar1 = new QProgressBar(TabSheet4);
  ProgressBar1->setGeometry(39, 6, 302, 15);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  AddLabel(TabSheet4, "детали:", small_caption, Qt::black, QRect(0, 24, 39, 17));
  InfoLabel = AddLabel(TabSheet4, "ожидание подключения ресивера", ArialFont(9, true), kInfoColor,
                       QRect(39, 26, 302, 14));
  LogMemo = new QPlainTextEdit(TabSheet4);
  LogMemo->setGeometry(0, 44, kPageWidth, 174);
  LogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

}  // namespace qor::app
