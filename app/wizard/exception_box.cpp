#include "app/wizard/exception_box.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "app/wizard/wizard_form.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor::app {

namespace {

void ShowBox(const QString& text) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

}  // namespace

void InstallExceptionMessageBox() {
  platform::SetExceptionDisplay([](const std::exception& e) {
    QString text = QString::fromUtf8(e.what());
    // A message reads as a sentence.
    if (!text.isEmpty() && text.back() > QChar('.')) text += '.';
    if (QThread::currentThread() == qApp->thread()) {
      ShowBox(text);
      return;
    }
    // A worker does not wait for the user.
    QMetaObject::invokeMethod(
        qApp, [text] { ShowBox(text); }, Qt::QueuedConnection);
  });
}

}  // namespace qor::app
