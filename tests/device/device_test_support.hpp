#pragma once
// Helpers for tests of the device layer: a handler that collects what the
// avail trigger announces, and a catcher for the errors threads report.
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "comm/device/posix_dispatcher.hpp"
#include "comm/platform/exception_display.hpp"

namespace qor::testing {

// Reads every byte an avail notice announces, in the dispatch thread.
class AvailReader {
 public:
  explicit AvailReader(TQorBaseDispatcher& d) : d_(d) {
    d.SetAvailThreshold(1);
    d.AddMethodHandler({this, &AvailReader::Call}, false);
  }
  ~AvailReader() { d_.RemoveMethodHandler({this, &AvailReader::Call}); }
  AvailReader(const AvailReader&) = delete;
  AvailReader& operator=(const AvailReader&) = delete;

  std::string Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  static void Call(void* self, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) {
    auto* reader = static_cast<AvailReader*>(self);
    if (msg != kMsgTriggerAvail) return;
    std::string got;
    std::uint8_t c = 0;
    for (std::uintptr_t i = 0; i < wparam && reader->d_.ReadInputChar(c) == 0; ++i) {
      got.push_back(static_cast<char>(c));
    }
    std::lock_guard lock(reader->mutex_);
    reader->received_ += got;
  }

  TQorBaseDispatcher& d_;
  std::mutex mutex_;
  std::string received_;
};

// Collects the texts of exceptions shown meanwhile (threads report their
// failures that way). Create it before the dispatcher, so it outlives it.
class ShownErrors {
 public:
  ShownErrors()
      : previous_(platform::SetExceptionDisplay([this](const std::exception& e) {
          std::lock_guard lock(mutex_);
          texts_.emplace_back(e.what());
        })) {}
  ~ShownErrors() { platform::SetExceptionDisplay(std::move(previous_)); }
  ShownErrors(const ShownErrors&) = delete;
  ShownErrors& operator=(const ShownErrors&) = delete;

  std::vector<std::string> Texts() {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
  platform::ExceptionDisplay previous_;
};

inline std::int32_t WriteText(TQorBaseDispatcher& d, std::string_view text) {
  return d.WriteBlock(reinterpret_cast<const std::uint8_t*>(text.data()),
                      static_cast<std::int32_t>(text.size()));
}

// Every byte value, flow and line-editing characters included.
inline std::string AllByteValues() {
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);
  return all;
}

}  // namespace qor::testing
