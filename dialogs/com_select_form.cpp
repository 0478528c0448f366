#include "dialogs/com_select_form.hpp"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <stdexcept>

#include "comm/comport/com_port.hpp"
#include "comm/device/port_available.hpp"

namespace qor {

namespace {
constexpr int kHighestListedPort = 50;
}

TComSelectForm::TComSelectForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Select Port");
  setFixedSize(220, 131);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  // The classic dialog font where installed, else the metric-compatible Arial
  // substitute, so the texts fit their places.
  QFont font;
  font.setFamilies({"MS Sans Serif", "Arial", "Liberation Sans"});
  font.setPointSize(8);
  setFont(font);

  auto* bevel = new QFrame(this);
  bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bevel->setGeometry(8, 8, 201, 42);
  Label1 = new QLabel("The configured serial port is not valid.", this);
  Label1->setGeometry(18, 14, 176, 13);
  Label2 = new QLabel("Please choose another port.", this);
  Label2->setGeometry(18, 30, 133, 13);
  PortsComboBox = new QComboBox(this);
  PortsComboBox->setEditable(false);
  PortsComboBox->setGeometry(8, 64, 201, 21);
  OkBtn = new QPushButton("OK", this);
  OkBtn->setGeometry(8, 95, 85, 27);
  OkBtn->setDefault(true);
  AbortBtn = new QPushButton("Cancel", this);
  AbortBtn->setGeometry(124, 95, 85, 27);
  // Wider than the classic 220 pixels only when this font needs the room.
  Label1->adjustSize();
  Label2->adjustSize();
  const int inner = std::max(201, std::max(Label1->width(), Label2->width()) + 20);
  if (inner > 201) {
    bevel->setFixedWidth(inner);
    PortsComboBox->setFixedWidth(inner);
    AbortBtn->move(8 + inner - 85, 95);
    setFixedSize(inner + 19, 131);
  }
  connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);
  FormCreate();
}

void TComSelectForm::FormCreate() {
  PortsComboBox->clear();
  for (int n = 1; n <= kHighestListedPort; ++n) {
    if (PortAvailable(n)) PortsComboBox->addItem(QString("COM%1").arg(n));
  }
  PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
}

int TComSelectForm::SelectedPortNumber() const {
  const QString text = PortsComboBox->currentText().mid(3);
  bool ok = false;
  const int n = text.toInt(&ok);
  if (!ok) {
    throw std::invalid_argument("'" + text.toStdString() + "' is not a valid integer value");
  }
  return n;
}

void InstallPortSelectionDialog() {
  SetPortPrompt([](std::int32_t& number) {
    TComSelectForm form;
    form.setAttribute(Qt::WA_DeleteOnClose, false);
    if (form.exec() != QDialog::Accepted) return false;
    number = form.SelectedPortNumber();
    return true;
  });
}

}  // namespace qor
