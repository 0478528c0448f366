#pragma once
#include <QFileDialog>
#include <functional>

namespace qor::app {

// The open-file dialog of the wizard. Its filter is written as pairs of
// "Description|patterns"; OnCanClose decides whether a chosen file closes it.
class TOpenImageDialog : public QFileDialog {
 public:
  explicit TOpenImageDialog(QWidget* parent = nullptr);

  const QString& Filter() const { return filter_; }
  void SetFilter(const QString& filter);

  // Told the chosen file; leaving can_close false keeps the dialog open.
  std::function<void(const QString& file, bool& can_close)> OnCanClose;

 protected:
  void accept() override;

 private:
  QString filter_;
};

}  // namespace qor::app
