#include "app/wizard/wizard_form.hpp"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <algorithm>
#include <functional>
#include <stdexcept>

#include "app/image/image_file.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor::app {

namespace {

constexpr int kPageCount = 4;

// Qt must not see an exception leave a slot: show it as any other.
void RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    platform::HandleCurrentException();
  }
}

std::function<void()> Guarded(std::function<void()> handler) {
  return [handler = std::move(handler)] { RunGuarded(handler); };
}

}  // namespace

TForm1::TForm1(TPortSources port_sources, QWidget* parent)
    : QWidget(parent),
      Recovery(*this, SockPort, XferProtocol, &XferStatus),
      port_sources_(std::move(port_sources)) {
  XferStatus.SetCaption("Protocol Status");
  XferStatus.SetPosition(poScreenCenter);
  XferStatus.SetCtl3D(false);
  XferStatus.SetVisible(false);
  CreateControls();
  ConnectHandlers();
  move(screen()->availableGeometry().center() - rect().center());
  FormCreate();
}

void TForm1::ConnectHandlers() {
  connect(PortList, &QComboBox::activated, this, Guarded([this] { PortListChange(); }));
  connect(Button4, &QPushButton::clicked, this, Guarded([this] { Button4Click(); }));
  connect(Button3, &QPushButton::clicked, this, Guarded([this] { Button3Click(); }));
  connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
  connect(OpenBtn, &QPushButton::clicked, this, Guarded([this] { OpenBtnClick(); }));
  // Only a button that becomes checked counts, as a click on the checked one
  // changes nothing.
  for (QRadioButton* radio : {RadioButton1, RadioButton2}) {
    connect(radio, &QRadioButton::toggled, this, [this](bool checked) {
      if (checked) RunGuarded([this] { RadioButton2Click(); });
    });
  }
  OpenDialog1.OnCanClose = [this](const QString& file, bool& can_close) {
    OpenDialog1CanClose(file, can_close);
  };
}

void TForm1::FormCreate() { FillPortList(); }

void TForm1::FillPortList() {
  QStringList ports;
  LoadSerialPorts(ports);
  // As text: COM10 comes before COM2.
  ports.sort(Qt::CaseInsensitive);
  PortList->clear();
  PortList->addItems(ports);
  PortList->setCurrentIndex(ports.isEmpty() ? -1 : 0);
}

void TForm1::LoadSerialPorts(QStringList& strings) {
  strings.clear();
  for (const TSerialPort& port : ListSerialPorts(port_sources_)) {
    strings << QString("COM%1").arg(port.Number);
  }
}

void TForm1::PortListChange() {
  const QString text = PortList->currentText();
  const QString digits = text.size() >= 4 ? text.mid(3) : QString();
  bool ok = false;
  const ushort number = digits.toUShort(&ok, 10);
  if (!ok) {
    throw std::invalid_argument("'" + digits.toStdString() + "' is not a valid integer value");
  }
  SockPort.SetComNumber(number);
}

void TForm1::GoToPage(int step) {
  PageIndex = std::clamp(PageIndex + step, 0, kPageCount - 1);
  PageControl1->setCurrentIndex(PageIndex);
  Button3->setEnabled(PageIndex != 0);
  Button4->setText(PageIndex == 1 ? "Готово" : "Далее");
}

void TForm1::Button4Click() {
  GoToPage(+1);
  if (PageIndex == 1 && Edit1->text().isEmpty()) Button4->setEnabled(false);
  if (PageIndex == 2) {
    Log("Порт: " + PortList->currentText().toStdString());
    Log("Режим прошивки: " + ModeWord().toStdString());
    Log("Загружаемый файл: " + Edit1->text().toStdString());
    Recovery.OpenReceiverPort();
  }
}

void TForm1::Button3Click() {
  GoToPage(-1);
  if (PageIndex == 0) Button4->setEnabled(true);
}

void TForm1::Button1Click() { close(); }

void TForm1::RadioButton2Click() {
  const bool kernel = RadioButton1->isChecked();
  if (kernel != KernelSelected) {
    Edit1->clear();
    Button4->setEnabled(false);
  }
  KernelSelected = kernel;
  OpenDialog1.SetFilter(kernel ? "Stellix Kernel|*.*" : "Stellix RootFS|root.cra");
  Recovery.SetMenuAnswer(kernel ? "2\r\n" : "3\r\n");
}

void TForm1::OpenBtnClick() { OpenDialog1.Execute(this); }

void TForm1::OpenDialog1CanClose(const QString& file_name, bool& can_close) {
  if (CheckImageFile(file_name)) {
    Recovery.SetImageFileSize(GetImageFileSize(file_name));
    Edit1->setText(file_name);
    if (!Edit1->text().isEmpty()) Button4->setEnabled(true);
    return;
  }
  can_close = false;
  ShowError(("Файл \"" + file_name + "\" не является файлом " + ModeWord()).toStdString());
}

bool TForm1::CheckImageFile(const QString& file_name) {
  // The whole path: cut short, a file in a deep folder could not be opened.
  const TImageCheck check =
      CheckImage(QFile::encodeName(file_name).toStdString(), RadioButton1->isChecked());
  if (check == TImageCheck::Unreadable) {
    ShowError(("Ошибка доступа к файлу " + file_name).toStdString());
    return false;
  }
  return check == TImageCheck::Matches;
}

std::int32_t TForm1::GetImageFileSize(const QString& file_name) {
  return app::GetImageFileSize(QFile::encodeName(file_name).toStdString());
}

QString TForm1::ModeWord() const { return RadioButton1->isChecked() ? "KERNEL" : "RootFS"; }

}  // namespace qor::app
