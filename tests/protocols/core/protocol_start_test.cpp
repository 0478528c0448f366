// Starting an engine on a real port: triggers, the record in user slot 1, the
// first call, registration, status pacing, and the failures that end a start.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "comm/ticks.hpp"
#include "tests/protocols/core/core_test_support.hpp"

namespace qor::testing {
namespace {

struct HandlerCall {
  std::uint32_t msg;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  TProtocolData* record;
  bool paced;  // PaceStatus ended the call
};

// What the test engine saw, and what it does with each call past the pacing.
struct Engine {
  std::mutex mutex;
  std::vector<HandlerCall> calls;
  int prepared = 0;
  std::function<void(TProtocolData&, std::uint32_t msg, std::uintptr_t wparam)> step;
  std::function<void(TProtocolData&)> prepare;

  std::vector<HandlerCall> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
};

Engine* g_engine = nullptr;

void TestHandler(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  TProtocolData* data = ProtocolDataFromLParam(lparam);
  if (data == nullptr) {
    std::lock_guard lock(g_engine->mutex);
    g_engine->calls.push_back({msg, wparam, lparam, nullptr, false});
    return;
  }
  platform::Locker hold(data->Lock);
  const bool paced = PaceStatus(*data, msg, wparam);
  {
    std::lock_guard lock(g_engine->mutex);
    g_engine->calls.push_back({msg, wparam, lparam, data, paced});
  }
  if (!paced && g_engine->step) g_engine->step(*data, msg, wparam);
}

void TestPrepare(TProtocolData& data) {
  ++g_engine->prepared;
  ShowFirstStatus(data);
  if (g_engine->prepare) g_engine->prepare(data);
}

class StartTest : public ::testing::Test {
 protected:
  StartTest() { g_engine = &engine; }
  ~StartTest() override { g_engine = nullptr; }

  void Start(TQorCustomComPort* port) {
    record = NewRecord(port, window.Handle());
    record->StatusInterval = 10000;  // no paced report unless a test asks for one
    StartProtocol(*record, ptKermit, &TestHandler, &TestPrepare);
  }
  std::vector<std::int32_t> Handles() const {
    return {record->TimeoutTrigger, record->StatusTimerTrigger, record->OutBuffFreeTrigger,
            record->OutBuffUsedTrigger, record->CarrierTrigger};
  }

  Engine engine;
  ReportWindow window;
  std::unique_ptr<TProtocolData> record;
};

// The engine that ends the transfer, as cancelled, on the first received byte.
void CancelOnData(TProtocolData& data, std::uint32_t msg, std::uintptr_t) {
  if (msg != kMsgTriggerAvail) return;
  data.ProtocolStatus = psCancelRequested;
  ShowLastStatus(data);
  FinishProtocol(data);
}

TEST_F(StartTest, RunsTheEngineOnAnOpenPortUntilItFinishes) {
  PtyPort pty(231);
  TQorBaseDispatcher& dispatcher = *pty.Port().Dispatcher();
  engine.step = CancelOnData;
  Start(&pty.Port());

  EXPECT_EQ(record->ProtocolError, 0);
  EXPECT_EQ(record->ProtocolType, ptKermit);
  EXPECT_TRUE(record->FirstFind);
  EXPECT_EQ(record->EngineStartWord, 2);
  EXPECT_EQ(dispatcher.AvailThreshold(), 1);
  const std::vector<std::int32_t> handles = Handles();
  EXPECT_EQ(std::set<std::int32_t>(handles.begin(), handles.end()).size(), 5u);
  for (std::int32_t h : handles) EXPECT_GT(h, 0);
  EXPECT_EQ(handles[2] & 7, stOutFree);
  EXPECT_EQ(handles[3] & 7, stOutUsed);
  EXPECT_EQ(handles[4] & 7, stModem);

  // Prepared, then called once directly with the dispatcher's handle.
  EXPECT_EQ(engine.prepared, 1);
  const std::vector<HandlerCall> first = engine.Calls();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].msg, 0u);
  EXPECT_EQ(first[0].wparam, 0u);
  EXPECT_EQ(first[0].lparam, static_cast<std::intptr_t>(dispatcher.DispatcherHandle()) << 16);
  EXPECT_EQ(first[0].record, record.get());

  // Registered: a received byte reaches the handler in the dispatch thread.
  pty.Line().Write("x");
  EXPECT_EQ(window.AwaitFinish(), -6005);
  EXPECT_EQ(window.Codes(kMsgProtocolStatus), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(window.Count(kMsgProtocolFinish), 1u);
  EXPECT_EQ(window.Reports().back().msg, kMsgProtocolFinish);
  const std::vector<HandlerCall> calls = engine.Calls();
  EXPECT_EQ(calls.back().msg, kMsgTriggerAvail);
  EXPECT_EQ(calls.back().record, record.get());

  // Finished: triggers gone, and a late notification finds no record.
  for (std::int32_t h : Handles()) EXPECT_EQ(h, 0);
  std::int32_t ticks = 0;
  EXPECT_LT(dispatcher.TimerTicksLeft(handles[1], ticks), 0);
  EXPECT_EQ(ProtocolDataFromLParam(first[0].lparam), nullptr);
  pty.Line().Write("y");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  window.PumpUntil([] { return true; });
  EXPECT_EQ(engine.Calls().size(), calls.size());
  EXPECT_EQ(window.Count(kMsgProtocolFinish), 1u);
}

TEST_F(StartTest, AnswerThatComesDuringTheFirstCallReachesTheHandler) {
  // The peer answers the opening packet before the start has returned; the
  // first call waits until the dispatch thread has the answer and has had
  // time to announce it.
  PtyPort pty(232);
  TQorBaseDispatcher& dispatcher = *pty.Port().Dispatcher();
  bool answered = false;
  engine.step = [&](TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam) {
    if (msg != 0) return CancelOnData(data, msg, wparam);
    pty.Line().Write("x");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!dispatcher.HasInput() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    answered = dispatcher.HasInput();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  Start(&pty.Port());
  ASSERT_TRUE(answered);
  EXPECT_EQ(window.AwaitFinish(), -6005);
  const std::vector<HandlerCall> calls = engine.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front().msg, 0u);  // the notice waited for the start
  EXPECT_EQ(calls.back().msg, kMsgTriggerAvail);
}

TEST(StartProtocol, NoOpenPortReports103AndFinishes) {
  Engine engine;
  g_engine = &engine;
  TQorComPort closed;
  for (TQorCustomComPort* port : {static_cast<TQorCustomComPort*>(nullptr),
                                  static_cast<TQorCustomComPort*>(&closed)}) {
    ReportWindow window;
    auto record = NewRecord(port, window.Handle());
    StartProtocol(*record, ptKermit, &TestHandler, &TestPrepare);
    EXPECT_EQ(window.Codes(kMsgProtocolError), std::vector<std::int32_t>{-103});
    EXPECT_EQ(window.AwaitFinish(), -103);
  }
  EXPECT_EQ(engine.prepared, 0);
  EXPECT_TRUE(engine.Calls().empty());
  g_engine = nullptr;
}

TEST_F(StartTest, PrepareErrorEndsTheStartBeforeTheFirstCall) {
  MemoryPort port;
  engine.prepare = [](TProtocolData& data) { ReportProtocolError(data, -8); };
  Start(&port.Port());
  EXPECT_EQ(window.AwaitFinish(), -8);
  EXPECT_TRUE(engine.Calls().empty());
  for (std::int32_t h : Handles()) EXPECT_EQ(h, 0);
}

TEST(StartProtocol, FirstCallThatEndsTheTransferIsFinishedOnceAndNotRegistered) {
  struct Case {
    const char* what;
    void (*first)(TProtocolData&);
    std::int32_t code;
  };
  const Case cases[] = {
      {"finishes (nothing to send)", [](TProtocolData& d) { FinishProtocol(d); }, 0},
      {"reports an error", [](TProtocolData& d) { ReportProtocolError(d, -6007); }, -6007},
  };
  for (const Case& c : cases) {
    Engine engine;
    g_engine = &engine;
    engine.step = [&c](TProtocolData& data, std::uint32_t msg, std::uintptr_t) {
      if (msg == 0) c.first(data);
    };
    MemoryPort port;
    ReportWindow window;
    auto record = NewRecord(&port.Port(), window.Handle());
    StartProtocol(*record, ptKermit, &TestHandler, &TestPrepare);
    EXPECT_EQ(window.AwaitFinish(), c.code) << c.what;
    EXPECT_EQ(record->StatusTimerTrigger, 0) << c.what;
    port.Device().Feed("x");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    window.PumpUntil([] { return true; });
    EXPECT_EQ(engine.Calls().size(), 1u) << c.what;
    EXPECT_EQ(window.Count(kMsgProtocolFinish), 1u) << c.what;
    g_engine = nullptr;
  }
}

TEST_F(StartTest, NoTriggerSlotsReports5001) {
  MemoryPort port;
  TQorBaseDispatcher& dispatcher = *port.Port().Dispatcher();
  while (dispatcher.CreateTimerTrigger() > 0) {
  }
  Start(&port.Port());
  EXPECT_EQ(window.Codes(kMsgProtocolError), std::vector<std::int32_t>{-5001});
  EXPECT_EQ(window.AwaitFinish(), -5001);
  EXPECT_EQ(engine.prepared, 0);
  for (std::int32_t h : Handles()) EXPECT_EQ(h, 0);
}

TEST_F(StartTest, AbortNoCarrierWithoutCarrierReports6014) {
  MemoryPort port;
  port.Device().modem_status = 0;
  record = NewRecord(&port.Port(), window.Handle());
  record->Options = kOptAbortNoCarrier;
  StartProtocol(*record, ptKermit, &TestHandler, &TestPrepare);
  EXPECT_EQ(engine.Calls().size(), 1u);  // the first call comes before the check
  EXPECT_EQ(window.Codes(kMsgProtocolError), std::vector<std::int32_t>{-6014});
  EXPECT_EQ(window.AwaitFinish(), -6014);
}

TEST_F(StartTest, AbortNoCarrierWatchesTheCarrier) {
  MemoryPort port;
  port.Device().modem_status = 0x80;
  std::atomic<std::uintptr_t> status_trigger{0};
  engine.step = [&](TProtocolData& data, std::uint32_t msg, std::uintptr_t wparam) {
    if (msg != kMsgTriggerStatus || wparam != static_cast<std::uintptr_t>(data.CarrierTrigger)) {
      return;
    }
    status_trigger = wparam;
    data.ProtocolStatus = psAbortNoCarrier;
    FinishProtocol(data);
  };
  record = NewRecord(&port.Port(), window.Handle());
  record->Options = kOptAbortNoCarrier;
  record->StatusInterval = 10000;
  StartProtocol(*record, ptKermit, &TestHandler, &TestPrepare);
  EXPECT_EQ(record->ProtocolError, 0);
  const std::int32_t carrier = record->CarrierTrigger;
  port.Device().modem_status = 0;
  port.Device().FeedStatus(kEvRlsd);
  EXPECT_EQ(window.AwaitFinish(), -6014);
  EXPECT_EQ(status_trigger.load(), static_cast<std::uintptr_t>(carrier));
}

TEST_F(StartTest, StatusTimerReportsEveryIntervalAndEndsTheCall) {
  MemoryPort port;
  engine.step = CancelOnData;
  record = NewRecord(&port.Port(), window.Handle());
  record->StatusInterval = 1;
  StartProtocol(*record, ptKermit, &TestHandler, &TestPrepare);
  const auto timer = static_cast<std::uintptr_t>(record->StatusTimerTrigger);
  ASSERT_TRUE(window.PumpUntil([&] { return window.Count(kMsgProtocolStatus) >= 4; }));
  port.Device().Feed("x");
  EXPECT_EQ(window.AwaitFinish(), -6005);
  int timer_calls = 0;
  for (const HandlerCall& c : engine.Calls()) {
    if (c.msg != kMsgTriggerTimer || c.wparam != timer) continue;
    ++timer_calls;
    EXPECT_TRUE(c.paced);
  }
  EXPECT_GE(timer_calls, 3);
}

TEST(PaceStatus, ReportsWhenForcedOrOnTheStatusTimerOnly) {
  struct Case {
    bool force;
    std::uint32_t msg;
    std::uintptr_t wparam;
    bool ends_call;
    bool reports;
  };
  const Case cases[] = {
      {true, kMsgTriggerAvail, 3, false, true},
      {false, kMsgTriggerTimer, 8, true, true},
      {true, kMsgTriggerTimer, 8, true, true},
      {false, kMsgTriggerTimer, 16, false, false},  // another timer
      {false, kMsgTriggerAvail, 8, false, false},   // a byte count equal to the handle
      {false, kMsgProtocolCancel, 0, false, false},
  };
  for (const Case& c : cases) {
    ReportWindow window;
    auto record = NewRecord(nullptr, window.Handle());
    record->StatusTimerTrigger = 8;
    record->ForceStatus = c.force;
    EXPECT_EQ(PaceStatus(*record, c.msg, c.wparam), c.ends_call) << c.msg << " " << c.wparam;
    EXPECT_EQ(window.Count(kMsgProtocolStatus), c.reports ? 1u : 0u) << c.msg << " " << c.wparam;
    EXPECT_FALSE(record->ForceStatus && c.reports);
  }
}

TEST(PaceStatus, ForcedReportWaitsForTheRunningInterval) {
  MemoryPort port;
  ReportWindow window;
  auto record = NewRecord(&port.Port(), window.Handle());
  TQorBaseDispatcher& dispatcher = *port.Port().Dispatcher();
  record->StatusTimerTrigger = dispatcher.CreateTimerTrigger();
  dispatcher.ArmTimerTrigger(record->StatusTimerTrigger, 1000, true);
  record->ForceStatus = true;
  EXPECT_FALSE(PaceStatus(*record, kMsgTriggerAvail, 1));
  EXPECT_EQ(window.Count(kMsgProtocolStatus), 0u);
  EXPECT_TRUE(record->ForceStatus);
  dispatcher.ArmTimerTrigger(record->StatusTimerTrigger, 1, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * kMsPerTick));
  EXPECT_FALSE(PaceStatus(*record, kMsgTriggerAvail, 1));
  EXPECT_EQ(window.Count(kMsgProtocolStatus), 1u);
  EXPECT_FALSE(record->ForceStatus);
  std::int32_t left = 0;
  ASSERT_EQ(dispatcher.TimerTicksLeft(record->StatusTimerTrigger, left), 0);
  EXPECT_GT(left, 0);  // re-armed with the interval
}

TEST(ProtocolDataFromLParam, UnknownDispatcherGivesNothing) {
  EXPECT_EQ(ProtocolDataFromLParam(static_cast<std::intptr_t>(0xFFFF) << 16), nullptr);
}

}  // namespace
}  // namespace qor::testing
