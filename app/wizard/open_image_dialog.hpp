#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QFileDialog;
class QWidget;

namespace qor::app {

// The wizard's open-file dialog: it keeps its settings while closed and
// builds the dialog window only while it runs, so that no folder watcher
// works in the background the rest of the time.
class TOpenImageDialog {
 public:
  // The filter as pairs of "Description|patterns", patterns split by ';'.
  const QString& Filter() const { return filter_; }
  void SetFilter(const QString& filter) { filter_ = filter; }
  // The same as the name filters of the dialog window.
  QStringList NameFilters() const;

  // Told the chosen file; leaving can_close false keeps the dialog open.
  std::function<void(const QString& file, bool& can_close)> OnCanClose;

  // Runs the dialog modally; true when a file was chosen.
  bool Execute(QWidget* parent);
  // The dialog window while Execute runs, else null.
  QFileDialog* Window() const { return window_; }

 private:
  QString filter_;
  QFileDialog* window_ = nullptr;
};

}  // namespace qor::app
