#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace qor {

// The modal "Select Port" dialog a com port shows when it is opened without a
// port number: it lists COM1 to COM50 where a port can be opened or is held by
// another program, and gives back the one the user picks.
class TComSelectForm : public QDialog {
  Q_OBJECT

 public:
  explicit TComSelectForm(QWidget* parent = nullptr);

  // Fills PortsComboBox and selects the first entry.
  void FormCreate();
  // The number of the selected entry; raises std::invalid_argument with
  // "'<text>' is not a valid integer value" when its text holds none (no entry).
  int SelectedPortNumber() const;

  QComboBox* PortsComboBox = nullptr;
  QPushButton* OkBtn = nullptr;
  QPushButton* AbortBtn = nullptr;

 private:
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
};

// Installs the dialog as the com ports' "choose a port" prompt.
void InstallPortSelectionDialog();

}  // namespace qor
