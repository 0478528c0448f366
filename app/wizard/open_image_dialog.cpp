#include "app/wizard/open_image_dialog.hpp"

#include <QFileInfo>

namespace qor::app {

TOpenImageDialog::TOpenImageDialog(QWidget* parent) : QFileDialog(parent) {
  // Our own widgets, so that accept() sees every choice.
  setOption(QFileDialog::DontUseNativeDialog);
  setFileMode(QFileDialog::ExistingFile);
  setAcceptMode(QFileDialog::AcceptOpen);
}

void TOpenImageDialog::SetFilter(const QString& filter) {
  filter_ = filter;
  // "Stellix Kernel|*.*" becomes "Stellix Kernel (*)": on this system a name
  // need not have a dot to be any file.
  const QStringList parts = filter.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      if (pattern == "*.*") pattern = "*";
    }
    filters << parts[i] + " (" + patterns.join(' ') + ")";
  }
  setNameFilters(filters);
}

void TOpenImageDialog::accept() {
  const QStringList files = selectedFiles();
  // A folder is opened, not chosen.
  if (files.size() == 1 && !QFileInfo(files.front()).isDir() && OnCanClose) {
    bool can_close = true;
    OnCanClose(files.front(), can_close);
    if (!can_close) return;
  }
  QFileDialog::accept();
}

}  // namespace qor::app
