#include "tests/protocols/kermit/uploader.hpp"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qor::testing {

namespace {

// Two seconds instead of the wizard's minute: a lost Send-Init is retried soon.
constexpr std::int32_t kTestHandshakeWait = 36;

}  // namespace

Uploader::Uploader(const std::string& line, int number) : env_name_("COM" + std::to_string(number)) {
  ::setenv(env_name_.c_str(), line.c_str(), 1);
  port_.SetComNumber(static_cast<std::uint16_t>(number));
  port_.SetBaud(115200);
  port_.SetOpen(true);
  window_ = platform::CreateMessageWindow(
      [this](std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
        return WindowProc(msg, wparam, lparam);
      });
  InitProtocolData(data_, &port_, 0);
  SetMessageWindow(*data_, window_);
  KermitInit(*data_);
  data_->HandshakeWait = kTestHandshakeWait;
}

Uploader::~Uploader() {
  if (started_ && !finished_) {
    Cancel();
    WaitFinished(3000);
  }
  port_.SetOpen(false);
  KermitDone(*data_);
  DoneProtocolData(data_);
  platform::DestroyMessageWindow(window_);
  ::unsetenv(env_name_.c_str());
}

void Uploader::WizardSettings() {
  TProtocolData& d = *data_;
  d.BlockCheckMethod = bcmChecksum;
  SetKermitMaxLen(d, 80);
  SetKermitMaxLongLen(d, 0);
  SetKermitMaxWindows(d, 0);
  SetKermitTimeoutSecs(d, 5);
  SetKermitPadding(d, 0, 0);
  SetKermitTerminator(d, 13);
  SetKermitCtlPrefix(d, '#');
  SetKermitHibitPrefix(d, 'Y');
  SetKermitRepeatPrefix(d, '~');
}

void Uploader::Send(std::vector<std::string> files) {
  files_ = std::move(files);
  next_file_ = 0;
  started_ = true;
  StartProtocol(*data_, ptKermit, &KermitTransmitHandler, &KermitPrepareTransmit);
}

std::intptr_t Uploader::WindowProc(std::uint32_t msg, std::uintptr_t wparam,
                                   std::intptr_t lparam) {
  switch (msg) {
    case kMsgProtocolNextFile: {
      if (next_file_ >= files_.size()) return 0;
      auto* name = reinterpret_cast<char*>(lparam);
      std::strncpy(name, files_[next_file_++].c_str(), kPathSize - 1);
      name[kPathSize - 1] = '\0';
      return 1;
    }
    case kMsgProtocolFinish:
      finished_ = true;
      finish_code_ = static_cast<std::int32_t>(static_cast<std::intptr_t>(wparam));
      return 0;
    case kMsgProtocolError:
      errors_.push_back(static_cast<std::int32_t>(static_cast<std::intptr_t>(wparam)));
      return 0;
    case kMsgProtocolLog:
      logs_.push_back(static_cast<std::uint32_t>(wparam));
      return 0;
    case kMsgProtocolStatus:
      first_reports_ += wparam == kStatusFirst ? 1 : 0;
      last_reports_ += wparam == kStatusLast ? 1 : 0;
      return 0;
    default:
      return 0;
  }
}

bool Uploader::WaitFinished(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!finished_ && std::chrono::steady_clock::now() < end) {
    if (platform::ProcessOneMessage() == platform::PumpResult::None) {
      platform::WaitMessage(10);
    }
  }
  return finished_;
}

void Uploader::Pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (platform::ProcessOneMessage() == platform::PumpResult::None) platform::WaitMessage(5);
  }
}

std::intptr_t Uploader::Handle() const {
  const TQorBaseDispatcher* d = port_.Dispatcher();
  return d == nullptr ? 0 : static_cast<std::intptr_t>(d->DispatcherHandle()) << 16;
}

void Uploader::Cancel() { KermitTransmitHandler(kMsgProtocolCancel, 0, Handle()); }

}  // namespace qor::testing
