#include "tools/qorxfer/transfer.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "comm/comport/com_port.hpp"
#include "comm/errors/error_text.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/message_queue.hpp"
#include "comm/ticks.hpp"
#include "protocols/component/engine_table.hpp"
#include "protocols/component/protocol_component.hpp"
#include "protocols/core/safe_names.hpp"
#include "tools/qorxfer/ascii_options.hpp"
#include "tools/qorxfer/interrupt_watch.hpp"
#include "tools/qorxfer/port_lookup.hpp"
#include "tools/qorxfer/progress.hpp"

namespace qor::xfer {

namespace {

constexpr std::int32_t kFileNotFound = -2;
constexpr std::int32_t kNotSupported = -6015;
constexpr std::int32_t kNoFileName = -6010;
constexpr std::int32_t kRejected = -6011;
constexpr std::uint32_t kQuietStatusTicks = 1092;  // 60 s in 55 ms ticks
constexpr int kDrainMs = 2000;
constexpr int kDrainPollMs = 1;

void Report(std::int32_t code, const std::string& detail = {}) {
  std::fprintf(stderr, "error %d: %s%s\n", code, ErrorText(code).c_str(),
               detail.empty() ? "" : (": " + detail).c_str());
}

TBlockCheckMethod CheckMethod(int check) {
  return check == 3 ? bcmCrcK : check == 2 ? bcmChecksum2 : bcmChecksum;
}

void Configure(TQorProtocol& p, const TransferOptions& o) {
  p.SetProtocolType(o.protocol);
  // Status reports only draw the progress line: a quiet run asks for one a
  // minute instead of two a second, each of which would wake this thread.
  if (o.quiet) p.SetStatusInterval(kQuietStatusTicks);
  p.SetHandshakeWait(
      static_cast<std::uint32_t>(std::max(1L, std::lround(o.handshake_wait * 1000 / kMsPerTick))));
  p.SetHandshakeRetry(o.retries);
  p.SetWriteFailAction(o.on_exists);
  p.SetHonorDirectory(o.honor_directory);
  p.SetIncludeDirectory(o.include_directory);
  p.SetUpcaseFileNames(o.upcase_names);
  p.SetDestinationDirectory(o.dir);
  if (o.protocol == ptKermit) {
    p.SetKermitMaxLen(o.packet_length);
    p.SetKermitMaxWindows(o.windows);
    p.SetKermitTimeoutSecs(o.packet_timeout);
    p.SetBlockCheckMethod(CheckMethod(o.check));
  }
  if (o.protocol == ptZmodem) {
    p.SetZmodem8K(o.zmodem_8k);
    p.SetZmodemEscControl(o.escape_control);
    p.SetZmodemRecover(o.recover);
    p.SetZmodemSkipNoFile(o.skip_no_file);
    p.SetZmodemFileOption(static_cast<TZmodemFileOptions>(o.file_option));
    p.SetZmodemOptionOverride(o.direction == Direction::Receive && o.file_option_given);
  }
  if (o.protocol == ptAscii) ConfigureAscii(p, o);
}

bool IsXmodem(TProtocolType type) { return type >= ptXmodem && type <= ptXmodem1KG; }

// Xmodem and ASCII name no file on the line: Xmodem's sender names its one
// file, and a receiver of either names the file it stores under (inside
// --dir, like every received name).
bool NameUnnamedFile(TQorProtocol& p, const TransferOptions& o) {
  if (!IsXmodem(o.protocol) && o.protocol != ptAscii) return true;
  if (o.direction == Direction::Send) {
    if (o.protocol == ptAscii) return true;
    if (o.files.size() != 1) {
      Report(kNotSupported, "Xmodem sends one file");
      return false;
    }
    p.SetFileName(o.files.front());
    return true;
  }
  const auto path = ReceivedFilePath(o.dir, o.receive_name, o.honor_directory);
  if (!path) {
    Report(o.receive_name.empty() ? kNoFileName : kRejected, o.receive_name);
    return false;
  }
  p.SetFileName(*path);
  return true;
}
// Zmodem streams: its buffer must hold at least two fully escaped blocks.
constexpr std::uint16_t kZmodemOutSize = 40000;

// This build has the engine for the direction asked for.
bool EngineBuilt(const TransferOptions& o) {
  const TEngineEntry* engine = EngineFor(o.protocol);
  const bool built =
      engine != nullptr && (o.direction == Direction::Send ? engine->TransmitHandler != nullptr
                                                           : engine->ReceiveHandler != nullptr);
  if (!built) Report(kNotSupported, o.protocol_name);
  return built;
}

// The files to send, before anything touches the line.
bool FilesReadable(const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    if (!std::filesystem::is_regular_file(f) || !std::ifstream(f)) {
      Report(kFileNotFound, f);
      return false;
    }
  }
  return true;
}

// Reports the transfer's events on standard error.
class Reporter {
 public:
  Reporter(TQorProtocol& protocol, bool quiet)
      : protocol_(protocol), quiet_(quiet), progress_(stderr, ::isatty(STDERR_FILENO) == 1) {}

  void OnLog(std::uint16_t code) {
    in_file_ = code == lfReceiveStart || code == lfTransmitStart;
    if (in_file_) progress_.Begin();
    if (quiet_) return;
    progress_.Break();
    const std::string name = protocol_.FileName();
    const std::string size = std::to_string(protocol_.FileSize()) + " bytes";
    switch (code) {
      case lfReceiveStart: Line("receiving " + name); break;
      case lfReceiveOk: Line("received " + name + ", " + size); break;
      case lfTransmitStart: Line("sending " + name + ", " + size); break;
      case lfTransmitOk: Line("sent " + name); break;
      case lfReceiveSkip:
      case lfTransmitSkip: Line("skipped " + name); break;
      default: Line("failed " + name); break;
    }
  }

  void OnStatus() {
    if (quiet_ || !in_file_) return;
    progress_.Update(protocol_.BytesTransferred(), protocol_.FileSize());
  }

  void OnError(std::int32_t code) {
    progress_.Break();
    Report(code);
    last_reported_ = code;
  }

  // The final code, unless the error event said it already.
  void OnFinish(std::int32_t code) {
    progress_.Break();
    if (code != 0 && code != last_reported_) Report(code);
  }

 private:
  static void Line(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

  TQorProtocol& protocol_;
  bool quiet_;
  bool in_file_ = false;  // between a file's start and its end
  Progress progress_;
  std::int32_t last_reported_ = 0;
};

// Handles this thread's messages until done() holds or limit_ms pass (-1:
// no limit), looking at done() after every wake-up and every poll_ms (-1:
// only when woken). An interrupt on interrupt_fd wakes it too.
void PumpFor(const std::function<bool()>& done, int limit_ms, int poll_ms, int interrupt_fd) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  pollfd fds[2] = {{platform::NotifyFd(), POLLIN, 0}, {interrupt_fd, POLLIN, 0}};
  while (!done() && (limit_ms < 0 || std::chrono::steady_clock::now() < end)) {
    if (poll(fds, 2, poll_ms) < 0 && errno != EINTR) {
      std::fprintf(stderr, "error: waiting for the transfer: %s\n", std::strerror(errno));
      return;
    }
    while (platform::ProcessOneMessage() == platform::PumpResult::Processed) {
    }
  }
}

}  // namespace

int RunTransfer(const TransferOptions& o) {
  if (!EngineBuilt(o)) return kNotStarted;
  if (o.direction == Direction::Send && !FilesReadable(o.files)) return kNotStarted;
  const std::int32_t number = PortNumberFor(o.port);
  if (number == 0) {
    Report(kFileNotFound, o.port);
    return kNotStarted;
  }
  // Before the port's threads start, so that none of them takes an interrupt.
  InterruptWatch interrupts;
  platform::SetMainThread();
  TQorComPort port;
  TQorProtocol protocol;
  TQorProtocolLog history;
  history.SetHistoryName(o.history_file);
  history.SetDeleteFailed(dfNever);  // what a failed receive got stays for the user
  if (!o.history_file.empty()) protocol.SetProtocolLog(&history);
  Reporter reporter(protocol, o.quiet);
  bool finished = false;
  std::int32_t finish_code = 0;
  std::size_t next_file = 0;
  protocol.OnProtocolNextFile = [&](TQorCustomProtocol&, std::string& name) {
    name = next_file < o.files.size() ? o.files[next_file++] : std::string();
  };
  protocol.OnProtocolLog = [&](TQorCustomProtocol&, std::uint16_t code) { reporter.OnLog(code); };
  protocol.OnProtocolStatus = [&](TQorCustomProtocol&, std::uint16_t) { reporter.OnStatus(); };
  protocol.OnProtocolError = [&](TQorCustomProtocol&, std::int32_t code) {
    reporter.OnError(code);
  };
  protocol.OnProtocolFinish = [&](TQorCustomProtocol&, std::int32_t code) {
    // A transfer cut off because the device failed says why, not "cancelled".
    if (code != 0 && port.DeviceFailure() != 0) code = port.DeviceFailure();
    finished = true;
    finish_code = code;
    reporter.OnFinish(code);
  };
  try {
    protocol.SetComPort(&port);
    Configure(protocol, o);
    if (!NameUnnamedFile(protocol, o)) return kNotStarted;
  } catch (const EQORException& e) {
    Report(e.ErrorCode());
    return kNotStarted;
  }
  try {
    port.SetComNumber(static_cast<std::uint16_t>(number));
    port.SetBaud(o.baud);
    if (o.protocol == ptZmodem) port.SetOutSize(kZmodemOutSize);
    if (!o.trace_file.empty()) {
      port.SetTraceName(o.trace_file);
      port.SetTracing(tlOn);
    }
    if (!o.log_file.empty()) {
      port.SetLogName(o.log_file);
      port.SetLogging(tlOn);
    }
    port.SetOpen(true);
  } catch (const EQORException& e) {
    Report(e.ErrorCode(), o.port);
    return kNotStarted;
  }
  if (o.direction == Direction::Send) {
    protocol.StartTransmit();
  } else {
    protocol.StartReceive();
  }

  // The transfer's end comes as a message, an interrupt on its descriptor:
  // the pump sleeps until one of them.
  bool cancelled = false;
  PumpFor(
      [&] {
        if (interrupts.Take() && !cancelled) {
          cancelled = true;
          protocol.CancelTransfer();
        }
        return finished;
      },
      -1, -1, interrupts.Fd());
  // Our last acknowledge must be on the line before the port closes, which
  // drops what is still queued: out of our ring, then out of the driver.
  PumpFor(
      [&] {
        TQorBaseDispatcher* d = port.Dispatcher();
        return port.OutputUsed() == 0 && (d == nullptr || d->DeviceOutputDrained());
      },
      kDrainMs, kDrainPollMs, -1);
  try {
    port.SetOpen(false);
  } catch (const EQORException& e) {
    Report(e.ErrorCode());
  }
  // A pump that could not wait leaves the transfer unfinished: not a success.
  return finished && finish_code == 0 ? kSucceeded : kTransferFailed;
}

}  // namespace qor::xfer
