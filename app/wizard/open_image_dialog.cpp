#include "app/wizard/open_image_dialog.hpp"

#include <QFileDialog>
#include <QFileInfo>

namespace qor::app {

namespace {

// Asks OnCanClose before it closes with a file.
class CheckedFileDialog : public QFileDialog {
 public:
  CheckedFileDialog(QWidget* parent, const TOpenImageDialog& owner)
      : QFileDialog(parent), owner_(owner) {
    // Our own widgets, so that accept() sees every choice.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(owner.NameFilters());
  }

 protected:
  void accept() override {
    const QStringList files = selectedFiles();
    // A folder is opened, not chosen.
    if (files.size() == 1 && !QFileInfo(files.front()).isDir() && owner_.OnCanClose) {
      bool can_close = true;
      owner_.OnCanClose(files.front(), can_close);
      if (!can_close) return;
    }
    QFileDialog::accept();
  }

 private:
  const TOpenImageDialog& owner_;
};

}  // namespace

QStringList TOpenImageDialog::NameFilters() const {
  // "Stellix Kernel|*.*" becomes "Stellix Kernel (*)": on this system a name
  // need not have a dot to be any file.
  const QStringList parts = filter_.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      if (pattern == "*.*") pattern = "*";
    }
    filters << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return filters;
}

bool TOpenImageDialog::Execute(QWidget* parent) {
  CheckedFileDialog dialog(parent, *this);
  window_ = &dialog;
  const bool chosen = dialog.exec() == QDialog::Accepted;
  window_ = nullptr;
  return chosen;
}

}  // namespace qor::app
