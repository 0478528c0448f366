#pragma once
#include <cstdio>
#include <string>

#include "app/recovery/recovery_view.hpp"

namespace qor::app {

// The recovery's screen on a terminal: log lines and message boxes on standard
// output, the status line on standard error (it changes often). A message box
// ends the run: an error with exit code 1, the final information with 0.
class ConsoleView : public IRecoveryView {
 public:
  explicit ConsoleView(std::string image_file) : image_file_(std::move(image_file)) {}

  void Log(const std::string& line) override;
  void SetInfo(const std::string& text) override;
  void SetProgressMax(int max) override { progress_max_ = max; }
  void SetProgressPosition(int position) override { progress_ = position; }
  void ShowProgressPage() override {}
  void HideNavigationButtons() override {}
  void ShowCloseButton() override {}
  void ShowError(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  std::string ImageFileName() override { return image_file_; }

 private:
  std::string image_file_;
  std::string last_info_;
  int progress_max_ = 100;
  int progress_ = 0;
};

}  // namespace qor::app
