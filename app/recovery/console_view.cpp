#include "app/recovery/console_view.hpp"

#include "comm/platform/message_queue.hpp"

namespace qor::app {

void ConsoleView::Log(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void ConsoleView::SetInfo(const std::string& text) {
  if (text == last_info_) return;
  last_info_ = text;
  std::fprintf(stderr, "  [%d/%d] %s\n", progress_, progress_max_, text.c_str());
}

void ConsoleView::ShowError(const std::string& text) {
  std::printf("Error: %s\n", text.c_str());
  std::fflush(stdout);
  platform::PostQuitMessage(1);
}

void ConsoleView::ShowInformation(const std::string& text) {
  std::printf("Information: %s\n", text.c_str());
  std::fflush(stdout);
  platform::PostQuitMessage(0);
}

}  // namespace qor::app
