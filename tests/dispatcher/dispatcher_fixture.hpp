#pragma once
// Shared setup for dispatcher tests: an open in-memory dispatcher and a handler
// that records every notification and can read bytes while it runs.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/platform/message_queue.hpp"
#include "tests/dispatcher/memory_dispatcher.hpp"
#include "tests/support/pump_until.hpp"

namespace qor::testing {

struct Notice {
  std::uint32_t msg;
  std::uintptr_t wparam;
  std::uint16_t low;
  std::string read;  // bytes the handler read during the notice
  bool operator==(const Notice&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Notice& n) {
  return os << "{" << std::hex << n.msg << std::dec << ", " << n.wparam << ", " << n.low << ", \""
            << n.read << "\"}";
}

// Records notices; reads up to `read_limit` bytes of each avail or data notice
// (all announced bytes when negative), or runs `on_notice` instead when set.
class Recorder {
 public:
  explicit Recorder(TQorBaseDispatcher& d) : d_(d) {}

  TTriggerMethod Method() { return {this, &Recorder::Call}; }

  std::vector<Notice> Notices() {
    std::lock_guard lock(mutex_);
    return notices_;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return notices_.size();
  }

  int read_limit = -1;
  std::function<void(std::uint32_t msg, std::uintptr_t wparam)> on_notice;

 private:
  static void Call(void* self, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
    static_cast<Recorder*>(self)->Handle(msg, wparam, lparam);
  }

  void Handle(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
    Notice n{msg, wparam, static_cast<std::uint16_t>(lparam & 0xFFFF), {}};
    if (on_notice) {
      on_notice(msg, wparam);
    } else if (msg == kMsgTriggerAvail) {
      const auto limit = read_limit < 0 ? wparam : static_cast<std::uintptr_t>(read_limit);
      std::uint8_t c = 0;
      for (std::uintptr_t i = 0; i < limit && d_.ReadInputChar(c) == 0; ++i) {
        n.read.push_back(static_cast<char>(c));
      }
    }
    std::lock_guard lock(mutex_);
    notices_.push_back(n);
  }

  TQorBaseDispatcher& d_;
  std::mutex mutex_;
  std::vector<Notice> notices_;
};

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, kOpenDtrOn | kOpenRtsOn), 0);
    d.AddMethodHandler(recorder.Method(), false);
  }

  TMemoryDispatcher d;
  Recorder recorder{d};
};

}  // namespace qor::testing
