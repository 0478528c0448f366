#include "fuzz/engine_harness.hpp"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "comm/comport/com_port.hpp"
#include "comm/platform/message_queue.hpp"
#include "protocols/component/engine_table.hpp"
#include "protocols/core/protocol_core.hpp"
#include "tests/dispatcher/memory_dispatcher.hpp"

namespace qor::fuzz {

namespace {

namespace fs = std::filesystem;

// Time-outs after the last byte, so that the engines' retries and their
// giving up run too.
constexpr int kTimeouts = 12;
// Handler calls after the cancel before a run counts as hung.
constexpr int kCancelRounds = 50;
// Pauses an engine may take in a row while received bytes wait.
constexpr int kPauseRounds = 4;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "engine harness: %s\n", what);
  std::abort();
}

// root/ holds only dest/, where received files go, so that a name that
// climbs out of dest/ is caught. (The process stays in its own working
// directory: libFuzzer writes there.)
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "qor-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp failed");
    root_ = pattern;
    dest_ = root_ / "dest";
    fs::create_directory(dest_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  std::string Dest() const { return dest_.string() + "/"; }

  // Everything a run wrote stays below dest/; then dest/ is emptied. With
  // QOR_FUZZ_VERBOSE set, each run's result and files are printed, to see
  // what a seed reaches.
  void CheckAndEmpty(std::int32_t finish_code, const std::string& sent) const {
    for (const auto& entry : fs::directory_iterator(root_)) {
      if (entry.path() != dest_) Fail(("a file escaped: " + entry.path().string()).c_str());
    }
    const bool verbose = ::getenv("QOR_FUZZ_VERBOSE") != nullptr;
    if (verbose) {
      std::fprintf(stderr, "finish code %d, the engine sent:\n", finish_code);
      for (const char c : sent) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32 && b < 127) {
          std::fputc(b, stderr);
        } else {
          std::fprintf(stderr, "<%02x>", b);
        }
      }
      std::fputc('\n', stderr);
    }
    for (const auto& entry : fs::recursive_directory_iterator(dest_)) {
      if (verbose && entry.is_regular_file()) {
        std::fprintf(stderr, "  %s: %ju bytes\n", entry.path().lexically_relative(dest_).c_str(),
                     static_cast<std::uintmax_t>(entry.file_size()));
      }
    }
    for (const auto& entry : fs::directory_iterator(dest_)) fs::remove_all(entry.path());
  }

 private:
  fs::path root_;
  fs::path dest_;
};

// Status triggers the dispatch thread fired on its own: it disarms them even
// when no engine handler is registered, so the harness must hear of them.
std::mutex g_fired_mutex;
std::set<std::uintptr_t> g_fired;

void RecordStatusTrigger(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) {
  if (msg != kMsgTriggerStatus) return;
  std::lock_guard lock(g_fired_mutex);
  g_fired.insert(wparam);
}

bool TakeFired(std::int32_t handle) {
  std::lock_guard lock(g_fired_mutex);
  return g_fired.erase(static_cast<std::uintptr_t>(handle)) != 0;
}

// One com port on the in-memory device for the whole process: opening starts
// the dispatch thread, which is far too slow to do for every input.
class Line {
 public:
  Line() {
    port_.SetComNumber(1);
    port_.SetCustomDispatcherFactory(
        [](TQorCustomComPort& p) { return std::make_unique<testing::TMemoryDispatcher>(&p); });
    port_.SetOpen(true);
    port_.Dispatcher()->AddProcHandler(&RecordStatusTrigger);
  }
  ~Line() { port_.SetOpen(false); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  TQorComPort& Port() { return port_; }
  testing::TMemoryDispatcher& Device() {
    return static_cast<testing::TMemoryDispatcher&>(*port_.Dispatcher());
  }

  // Queues bytes and waits until the dispatch thread has moved them into the
  // receive ring; false when they do not fit or do not arrive in time.
  bool Deliver(const std::uint8_t* bytes, std::size_t n) {
    TQorBaseDispatcher& d = *port_.Dispatcher();
    if (d.InputFree() < static_cast<std::int32_t>(n)) return false;
    const std::int32_t want = d.InputUsed() + static_cast<std::int32_t>(n);
    Device().Feed(std::string(reinterpret_cast<const char*>(bytes), n));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (d.InputUsed() < want) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::yield();
    }
    return true;
  }

 private:
  TQorComPort port_;
};

// The line lives as long as this thread: its close needs the thread's message
// queue, which goes before any static object does. Made after that queue,
// the owner is destroyed before it.
Line& TheLine() {
  thread_local const std::unique_ptr<Line> line = std::make_unique<Line>();
  return *line;
}

bool AcceptEverything(TProtocolData&, char*) { return true; }

struct Session {
  TProtocolData& data;
  TProtocolHandler handler;
  Line& line;
  std::string sent;  // what the engine wrote to the line

  std::intptr_t LParam() const {
    return static_cast<std::intptr_t>(line.Port().Dispatcher()->DispatcherHandle()) << 16;
  }
  bool Finished() const { return data.StatusTimerTrigger == 0; }

  // One handler call, then what it sent is taken off the line, and the
  // output triggers it armed fire as the drained line allows.
  void Call(std::uint32_t msg, std::uintptr_t wparam) {
    if (Finished()) return;
    handler(msg, wparam, LParam());
    for (int round = 0; round < 4 && !Finished(); ++round) {
      line.Device().DrainOutput();
      sent += line.Device().TakeWritten();
      TriggerSnapshot triggers;
      line.Port().Dispatcher()->SnapshotTriggers(triggers);
      bool fired = false;
      for (const TStatusTrigger& t : triggers.Status) {
        const bool ours = t.Handle == data.OutBuffFreeTrigger || t.Handle == data.OutBuffUsedTrigger;
        if (!ours || Finished() || !(TakeFired(t.Handle) || t.Armed)) continue;
        line.Port().Dispatcher()->ArmStatusTrigger(t.Handle, 0, false);
        handler(kMsgTriggerStatus, static_cast<std::uintptr_t>(t.Handle), LParam());
        fired = true;
      }
      if (!fired) break;
    }
  }
  void Timeout() { Call(kMsgTriggerTimer, static_cast<std::uintptr_t>(data.TimeoutTrigger)); }

  // Received bytes left unread while the engine's timer runs: it waits for
  // the timer (a pause before it answers), so the timer runs out.
  void LetPausesEnd() {
    TQorBaseDispatcher& d = *line.Port().Dispatcher();
    for (int i = 0; i < kPauseRounds && !Finished() && d.InputUsed() > 0; ++i) {
      TriggerSnapshot triggers;
      d.SnapshotTriggers(triggers);
      const bool waiting = std::any_of(triggers.Timers.begin(), triggers.Timers.end(),
                                       [this](const TTimerTrigger& t) {
                                         return t.Handle == data.TimeoutTrigger && t.Active;
                                       });
      if (!waiting) return;
      Timeout();
      Call(kMsgTriggerAvail, static_cast<std::uintptr_t>(d.InputUsed()));
    }
  }
};

void PumpMessages() {
  while (platform::ProcessOneMessage() == platform::PumpResult::Processed) {
  }
}

}  // namespace

void RunReceive(TProtocolType type, const std::uint8_t* bytes, std::size_t size,
                void (*configure)(TProtocolData& data)) {
  static Scratch scratch;
  Line& line = TheLine();
  const TEngineEntry* engine = EngineFor(type);
  if (engine == nullptr || engine->ReceiveHandler == nullptr) Fail("no engine");

  std::unique_ptr<TProtocolData> data;
  InitProtocolData(data, &line.Port(), kOptHonorDirectory);
  if (engine->Init(*data, type) != 0) Fail("engine init failed");
  data->ProtocolType = type;
  if (configure != nullptr) configure(*data);
  data->AcceptFileProc = &AcceptEverything;
  const std::string dest = scratch.Dest();
  std::copy_n(dest.c_str(), dest.size() + 1, data->DestinationDirectory.data());
  const std::string file = dest + "XMODEM.BIN";
  std::copy_n(file.c_str(), file.size() + 1, data->PathName.data());

  line.Port().Dispatcher()->PurgeInput();
  line.Device().DrainOutput();
  line.Device().TakeWritten();
  {
    std::lock_guard lock(g_fired_mutex);
    g_fired.clear();
  }
  StartProtocol(*data, type, engine->ReceiveHandler, engine->PrepareReceive);
  // This thread plays the dispatcher from here on.
  line.Port().Dispatcher()->RemoveProcHandler(engine->ReceiveHandler);
  Session s{*data, engine->ReceiveHandler, line, {}};

  // Bursts: a length byte, then that many bytes as they arrive together; a
  // length of 0 lets the engine's timer run out instead.
  for (std::size_t at = 0; at < size && !s.Finished();) {
    const std::size_t length = bytes[at++];
    const std::size_t n = std::min(length, size - at);
    if (n == 0) {
      s.Timeout();
      continue;
    }
    if (!line.Deliver(bytes + at, n)) break;
    at += n;
    s.Call(kMsgTriggerAvail, static_cast<std::uintptr_t>(n));
    s.LetPausesEnd();
  }
  for (int i = 0; i < kTimeouts && !s.Finished(); ++i) s.Timeout();
  s.Call(kMsgProtocolCancel, 0);
  for (int i = 0; i < kCancelRounds && !s.Finished(); ++i) s.Timeout();
  if (!s.Finished()) Fail("the transfer did not finish after a cancel");

  const std::int32_t finish_code = data->ProtocolError;
  engine->Done(*data);
  DoneProtocolData(data);
  PumpMessages();
  scratch.CheckAndEmpty(finish_code, s.sent);
}

}  // namespace qor::fuzz
