#pragma once
// Shared pieces for the protocol core tests: a scratch directory, a message
// window that records what the engines report, a record, and com ports over a
// pseudo-terminal or over the in-memory device.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comm/comport/com_port.hpp"
#include "comm/platform/message_queue.hpp"
#include "protocols/core/protocol_core.hpp"
#include "tests/device/pty_pair.hpp"
#include "tests/dispatcher/memory_dispatcher.hpp"

namespace qor::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qor-core-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Root() const { return path_.string(); }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

// Bytes that differ from their neighbours and from the pad byte.
inline std::string Pattern(std::size_t size, unsigned seed = 1) {
  std::string bytes(size, '\0');
  std::uint32_t x = seed * 2654435761u + 12345;
  for (char& c : bytes) {
    x = x * 1103515245u + 12345;
    c = static_cast<char>((x >> 16) % 200 + 32);
  }
  return bytes;
}

struct Report {
  std::uint32_t msg;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};

// A message window of the calling thread that records every message; reply,
// when set, gives the answers.
class ReportWindow {
 public:
  ReportWindow()
      : window_(platform::CreateMessageWindow(
            [this](std::uint32_t msg, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
              reports_.push_back({msg, w, l});
              return reply ? reply(msg, w, l) : 0;
            })) {}
  ~ReportWindow() { platform::DestroyMessageWindow(window_); }
  ReportWindow(const ReportWindow&) = delete;
  ReportWindow& operator=(const ReportWindow&) = delete;

  platform::WindowHandle Handle() const { return window_; }
  const std::vector<Report>& Reports() const { return reports_; }

  // Handles this thread's messages until pred holds or ms pass.
  bool PumpUntil(const std::function<bool()>& pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      while (platform::ProcessOneMessage() == platform::PumpResult::Processed) {
      }
      if (pred()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Waits for the finish message and returns its code.
  std::int32_t AwaitFinish(int ms = 5000) {
    if (!PumpUntil([this] { return Count(kMsgProtocolFinish) > 0; }, ms)) {
      ADD_FAILURE() << "no finish message";
      return 0;
    }
    return Codes(kMsgProtocolFinish).front();
  }
  std::size_t Count(std::uint32_t msg) const { return Codes(msg).size(); }
  // wParam of each message msg, in order, as a signed code.
  std::vector<std::int32_t> Codes(std::uint32_t msg) const {
    std::vector<std::int32_t> codes;
    for (const Report& r : reports_) {
      if (r.msg == msg) codes.push_back(static_cast<std::int32_t>(r.wparam));
    }
    return codes;
  }

  std::function<std::intptr_t(std::uint32_t, std::uintptr_t, std::intptr_t)> reply;

 private:
  std::vector<Report> reports_;
  platform::WindowHandle window_;
};

inline std::unique_ptr<TProtocolData> NewRecord(TQorCustomComPort* port = nullptr,
                                                platform::WindowHandle window =
                                                    platform::WindowHandle::None) {
  std::unique_ptr<TProtocolData> data;
  EXPECT_EQ(InitProtocolData(data, port, 0), 0);
  SetMessageWindow(*data, window);
  return data;
}

// A pty mapped to "COM<number>" and a com port open on it.
class PtyPort {
 public:
  explicit PtyPort(int number) : name_("COM" + std::to_string(number)) {
    ::setenv(name_.c_str(), line_.Path().c_str(), 1);
    port_.SetComNumber(static_cast<std::uint16_t>(number));
    port_.SetBaud(115200);
    port_.SetOpen(true);
  }
  ~PtyPort() {
    port_.SetOpen(false);
    ::unsetenv(name_.c_str());
  }
  TQorComPort& Port() { return port_; }
  PtyPair& Line() { return line_; }

 private:
  std::string name_;
  PtyPair line_;
  TQorComPort port_;
};

// A com port open on the in-memory device: output stays queued until drained,
// modem lines are set by the test.
class MemoryPort {
 public:
  MemoryPort() {
    port_.SetComNumber(1);
    port_.SetCustomDispatcherFactory(
        [](TQorCustomComPort& p) { return std::make_unique<TMemoryDispatcher>(&p); });
    port_.SetOpen(true);
  }
  ~MemoryPort() { port_.SetOpen(false); }
  TQorComPort& Port() { return port_; }
  TMemoryDispatcher& Device() { return static_cast<TMemoryDispatcher&>(*port_.Dispatcher()); }

 private:
  TQorComPort port_;
};

}  // namespace qor::testing
