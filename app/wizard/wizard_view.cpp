// The wizard window as the screen of the recovery sequence.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <algorithm>

#include "app/wizard/wizard_form.hpp"

namespace qor::app {

namespace {

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const char* caption,
                 const std::string& text) {
  QMessageBox box(icon, caption, QString::fromStdString(text), QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

void TForm1::Log(const std::string& line) {
  LogMemo->appendPlainText(QString::fromStdString(line));
}

void TForm1::SetInfo(const std::string& text) { InfoLabel->setText(QString::fromStdString(text)); }

void TForm1::SetProgressMax(int max) { ProgressBar1->setMaximum(max); }

void TForm1::SetProgressPosition(int position) {
  // Out of range it would be ignored; the bar stops at its ends instead.
  ProgressBar1->setValue(std::clamp(position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TForm1::ShowProgressPage() {
  PageIndex = 3;
  PageControl1->setCurrentWidget(TabSheet4);
}

void TForm1::HideNavigationButtons() {
  Button3->hide();
  Button4->hide();
}

void TForm1::ShowCloseButton() { Button1->show(); }

void TForm1::ShowError(const std::string& text) {
  ShowMessage(this, QMessageBox::Critical, "Error", text);
}

void TForm1::ShowInformation(const std::string& text) {
  ShowMessage(this, QMessageBox::Information, "Information", text);
}

std::string TForm1::ImageFileName() { return Edit1->text().toStdString(); }

}  // namespace qor::app
