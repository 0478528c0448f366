#pragma once
#include <string>

namespace qor::app {

// What the recovery sequence needs of the screen: the wizard window implements
// it with its widgets, the console program with standard output, tests with a
// recorder. Texts are UTF-8.
class IRecoveryView {
 public:
  virtual ~IRecoveryView() = default;
  // Appends one line to the log pane (LogMemo).
  virtual void Log(const std::string& line) = 0;
  // The status line (InfoLabel).
  virtual void SetInfo(const std::string& text) = 0;
  // The progress bar (ProgressBar1); its range starts as 0..100.
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressPosition(int position) = 0;
  // Makes the progress page (TabSheet4) the active page.
  virtual void ShowProgressPage() = 0;
  // Hides "Назад" (Button3) and "Далее"/"Готово" (Button4).
  virtual void HideNavigationButtons() = 0;
  // Shows "Закрыть" (Button1).
  virtual void ShowCloseButton() = 0;
  // Modal message boxes with one OK button: caption "Error" with an error
  // icon, caption "Information" with an information icon.
  virtual void ShowError(const std::string& text) = 0;
  virtual void ShowInformation(const std::string& text) = 0;
  // The image file name box (Edit1).
  virtual std::string ImageFileName() = 0;
};

}  // namespace qor::app
