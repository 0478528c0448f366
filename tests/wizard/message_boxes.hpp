#pragma once
// Answers every message box the moment it shows and remembers what it said.
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <vector>

namespace qor::testing {

struct ShownMessage {
  QString caption;
  QMessageBox::Icon icon;
  QString text;
  bool operator==(const ShownMessage&) const = default;
};

class MessageBoxes : public QObject {
 public:
  MessageBoxes() { qApp->installEventFilter(this); }
  ~MessageBoxes() override { qApp->removeEventFilter(this); }

  std::vector<ShownMessage> shown;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* box = qobject_cast<QMessageBox*>(object)) {
        shown.push_back({box->windowTitle(), box->icon(), box->text()});
        QMetaObject::invokeMethod(box, &QMessageBox::accept, Qt::QueuedConnection);
      }
    }
    return false;
  }
};

}  // namespace qor::testing
