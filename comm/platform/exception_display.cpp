#include "comm/platform/exception_display.hpp"

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace qor::platform {

namespace {

void WriteToStderr(const std::exception& e) {
  // One call, so that lines from several threads do not interleave.
  std::fprintf(stderr, "Exception: %s\n", e.what());
}

struct DisplayHook {
  std::mutex mutex;
  ExceptionDisplay display = WriteToStderr;
};

DisplayHook& Hook() {
  static DisplayHook hook;
  return hook;
}

}  // namespace

ExceptionDisplay SetExceptionDisplay(ExceptionDisplay display) {
  if (!display) display = WriteToStderr;
  DisplayHook& hook = Hook();
  std::lock_guard lock(hook.mutex);
  return std::exchange(hook.display, std::move(display));
}

void ShowException(const std::exception& e) {
  ExceptionDisplay display;
  {
    DisplayHook& hook = Hook();
    std::lock_guard lock(hook.mutex);
    display = hook.display;
  }
  // Called unlocked: the hook may take its time or install another hook.
  display(e);
}

void HandleCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    ShowException(std::runtime_error("Unknown exception"));
  }
}

}  // namespace qor::platform
