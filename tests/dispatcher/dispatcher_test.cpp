// The dispatcher's data, line and handler operations over the in-memory device.
#include <gtest/gtest.h>

#include <atomic>

#include "comm/dispatcher/dispatcher_registry.hpp"
#include "tests/dispatcher/dispatcher_fixture.hpp"

namespace qor::testing {
namespace {

TEST_F(DispatcherTest, ReadsAndPeeksFailWithoutEnoughUnreadBytes) {
  std::uint8_t c = 0;
  EXPECT_EQ(d.ReadInputChar(c), -3007);
  EXPECT_FALSE(d.HasInput());
  d.Feed("xy");
  ASSERT_TRUE(PumpUntil([&] { return d.InputUsed() == 2; }));
  EXPECT_TRUE(d.HasInput());
  EXPECT_EQ(d.PeekInput(c, 3), -3007);
  ASSERT_EQ(d.PeekInput(c, 2), 0);
  EXPECT_EQ(c, 'y');
  ASSERT_EQ(d.ReadInputChar(c), 0);
  EXPECT_EQ(c, 'x');
  EXPECT_EQ(d.InputFree(), kRecvRingSize - 1);
}

TEST_F(DispatcherTest, WriteBlockIsAllOrNothing) {
  const std::string full(64, 'w');
  EXPECT_EQ(d.WriteBlock(reinterpret_cast<const std::uint8_t*>(full.data()), 63), 0);
  EXPECT_EQ(d.OutputFree(), 1);
  // One byte more than the free space: refused, nothing queued.
  const std::uint8_t two[] = {'a', 'b'};
  EXPECT_EQ(d.WriteBlock(two, 2), -3006);
  EXPECT_EQ(d.OutputUsed(), 63);
  // Exactly the free space fills the ring.
  EXPECT_EQ(d.WriteBlock(two, 1), 0);
  EXPECT_EQ(d.OutputUsed(), 64);
  EXPECT_EQ(d.OutputFree(), 0);
  d.DrainOutput();
  EXPECT_EQ(d.Written(), full.substr(0, 63) + "a");
  EXPECT_EQ(d.OutputUsed(), 0);
  EXPECT_EQ(d.WriteBlock(two, 0), 0);
}

TEST_F(DispatcherTest, LineErrorsComeOutInOrderAndTheBreakStaysSeparate) {
  d.pending_errors = 2 | 16;  // hardware overrun and break
  d.OutputUsed();             // refreshes the line errors
  EXPECT_EQ(d.TakeLineError(), 2);
  EXPECT_EQ(d.TakeLineError(), 9);
  EXPECT_TRUE(d.TakeLineBreak());
  EXPECT_EQ(d.TakeLineError(), 0);
  EXPECT_FALSE(d.TakeLineBreak());
  d.pending_errors = 1 | 4 | 8;
  d.OutputUsed();
  EXPECT_EQ(d.TakeLineError(), 1);
  EXPECT_EQ(d.TakeLineError(), 0);  // parity and framing went with it
}

TEST_F(DispatcherTest, LineParamsUnchangedDoNotTouchTheDevice) {
  const int writes = d.device_state_writes();
  EXPECT_EQ(d.SetLineParams(0, 5, 9, 3), 0);
  EXPECT_EQ(d.SetLineParams(115200, 0, 8, 1), 0);
  EXPECT_EQ(d.device_state_writes(), writes);
  EXPECT_EQ(d.SetLineParams(9600, 2, 7, 2), 0);
  EXPECT_GT(d.device_state_writes(), writes);
  std::int32_t baud = 0;
  std::uint8_t parity = 0, bits = 0, stops = 0;
  d.GetLineParams(baud, parity, bits, stops);
  EXPECT_EQ(baud, 9600);
  EXPECT_EQ(parity, 2);
  EXPECT_EQ(bits, 7);
  EXPECT_EQ(stops, 2);
  EXPECT_EQ(d.CurrentBaud(), 9600);
  EXPECT_TRUE(d.dtr());
}

TEST(DispatcherRates, LegacyCodesTranslate) {
  EXPECT_EQ(TQorBaseDispatcher::BitsPerSecond(0xFEFF), 115200);
  EXPECT_EQ(TQorBaseDispatcher::BitsPerSecond(0xFF10), 110);
  EXPECT_EQ(TQorBaseDispatcher::BitsPerSecond(0xFF10 + 11), 38400);
  EXPECT_EQ(TQorBaseDispatcher::BitsPerSecond(0xFF10 + 23), 256000);
  EXPECT_EQ(TQorBaseDispatcher::BitsPerSecond(0xFF10 + 9), 0xFF10 + 9);
  EXPECT_EQ(TQorBaseDispatcher::BitsPerSecond(57600), 57600);
}

TEST_F(DispatcherTest, FlowControlOptionsRoundTrip) {
  EXPECT_EQ(d.SetHWFlow(100, 200, hwfUseRTS), -1002);   // full below resume
  EXPECT_EQ(d.SetHWFlow(5000, 100, hwfUseRTS), -1002);  // above the input size
  ASSERT_EQ(d.SetHWFlow(3000, 1000, hwfUseRTS | hwfRequireCTS), 0);
  ASSERT_EQ(d.EnableSWFlow(3000, 1000, kSwFlowTransmit), 0);
  std::uint32_t hw = 0, sw = 0;
  std::uint8_t xon = 0, xoff = 0;
  d.GetFlowOptions(hw, sw, xon, xoff);
  EXPECT_EQ(hw, hwfUseRTS | hwfRequireCTS);
  EXPECT_EQ(sw, kSwFlowTransmit);
  EXPECT_EQ(xon, 17);
  EXPECT_EQ(xoff, 19);
  EXPECT_EQ(d.Dcb().XoffLim, 4096 - 3000);
  EXPECT_EQ(d.SetRts(false), 1);  // RTS belongs to flow control now
  ASSERT_EQ(d.DisableSWFlow(), 0);
  d.GetFlowOptions(hw, sw, xon, xoff);
  EXPECT_EQ(sw, 0u);
}

// The purge takes effect at once for the handler that asked for it: nothing of
// what was purged can be read, or be announced as waiting, for the rest of the
// notice. With a full ring a reader that loops while input waits would spin.
TEST_F(DispatcherTest, PurgeInputInsideANoticeEmptiesTheRingAtOnce) {
  for (const int size : {5, kRecvRingSize}) {
    SCOPED_TRACE(size);
    d.SetAvailThreshold(size);
    bool seen_after_purge = true;
    int readable_after_purge = -1;
    int used_after_purge = -1;
    recorder.on_notice = [&](std::uint32_t, std::uintptr_t) {
      std::uint8_t c = 0;
      d.ReadInputChar(c);
      d.PurgeInput();
      seen_after_purge = d.HasInput();
      std::uint8_t bytes[16];
      readable_after_purge = d.CopyWaitingInput(bytes, sizeof bytes);
      used_after_purge = d.InputUsed();
    };
    const std::size_t before = recorder.Count();
    d.Feed(std::string(static_cast<std::size_t>(size), 'p'));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == before + 1; }));
    EXPECT_TRUE(PumpUntil([&] { return d.InputUsed() == 0 && !d.HandlersRunning(); }));
    EXPECT_FALSE(seen_after_purge);
    EXPECT_EQ(readable_after_purge, 0);
    EXPECT_EQ(used_after_purge, 0);
    EXPECT_FALSE(d.HasInput());
    EXPECT_EQ(d.InputFree(), kRecvRingSize);
  }
}

// Procedure handlers are plain functions: they find their state through globals.
std::atomic<int> g_first_calls{0};
std::atomic<int> g_second_calls{0};
TQorBaseDispatcher* g_port = nullptr;

void RemovesItself(std::uint32_t, std::uintptr_t, std::intptr_t lparam) {
  ++g_first_calls;
  platform::Locker lock(DispatcherRegistry::Lock());
  TQorBaseDispatcher* d = DispatcherRegistry::Find(DispatcherRegistry::HandleOf(lparam));
  ASSERT_EQ(d, g_port);
  d->RemoveProcHandler(&RemovesItself);
}

void ClosesThePort(std::uint32_t, std::uintptr_t, std::intptr_t) {
  ++g_first_calls;
  g_port->ClosePort();
}

void CountsCalls(std::uint32_t, std::uintptr_t, std::intptr_t) { ++g_second_calls; }

TEST(DispatcherHandlers, ProcHandlerRemovedInsideItselfIsNotCalledAgain) {
  g_first_calls = g_second_calls = 0;
  TMemoryDispatcher d;
  g_port = &d;
  ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
  d.AddProcHandler(&RemovesItself);
  d.AddProcHandler(&CountsCalls);
  const std::int32_t timer = d.CreateTimerTrigger();
  d.ArmTimerTrigger(timer, 1, true);
  ASSERT_TRUE(PumpUntil([&] { return g_second_calls == 1; }));
  d.ArmTimerTrigger(timer, 1, true);
  ASSERT_TRUE(PumpUntil([&] { return g_second_calls == 2; }));
  EXPECT_EQ(g_first_calls, 1);
}

TEST(DispatcherHandlers, ClosePortInsideAHandlerStopsTheNoticeAndReleasesTheRings) {
  g_first_calls = g_second_calls = 0;
  TMemoryDispatcher d;
  g_port = &d;
  ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
  d.AddProcHandler(&ClosesThePort);
  d.AddProcHandler(&CountsCalls);
  d.SetAvailThreshold(1);
  d.Feed("bye");
  ASSERT_TRUE(PumpUntil([&] { return d.RunningThreads() == 0; }));
  EXPECT_EQ(g_first_calls, 1);
  EXPECT_EQ(g_second_calls, 0);
  EXPECT_TRUE(d.ClosePending());
  EXPECT_FALSE(d.IsOpen());
  EXPECT_EQ(d.InputUsed(), 0);  // the ring was released with the thread
  const std::uint8_t c = 'x';
  EXPECT_EQ(d.WriteBlock(&c, 1), -3006);  // no output ring either
}

TEST(DispatcherOpen, MissingDeviceLeavesNothingOpen) {
  TMemoryDispatcher d;
  EXPECT_EQ(d.OpenPort("missing", 115200, 0, 8, 1, 4096, 64, 0), -2);
  EXPECT_EQ(d.RunningThreads(), 0);
  EXPECT_FALSE(d.IsOpen());
  EXPECT_EQ(d.InputFree(), kRecvRingSize);
}

TEST(DispatcherRegistryTest, HandlesAreSlotsAndSlotsAreReused) {
  auto a = std::make_unique<TMemoryDispatcher>();
  auto b = std::make_unique<TMemoryDispatcher>();
  const std::int32_t ha = a->DispatcherHandle();
  const std::int32_t hb = b->DispatcherHandle();
  EXPECT_NE(ha, hb);
  a.reset();
  {
    platform::Locker lock(DispatcherRegistry::Lock());
    EXPECT_EQ(DispatcherRegistry::Find(ha), nullptr);
    EXPECT_EQ(DispatcherRegistry::Find(hb), b.get());
  }
  TMemoryDispatcher c;
  EXPECT_EQ(c.DispatcherHandle(), ha);
  EXPECT_EQ(DispatcherRegistry::HandleOf((static_cast<std::intptr_t>(hb) << 16) | 7), hb);
}

TEST(DispatcherHandlers, WindowHandlerRunsInTheWindowsThreadAndReadsTheAnnouncedBytes) {
  TMemoryDispatcher d;
  ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
  const platform::ThreadId main = platform::CurrentThreadId();
  std::string got;
  bool in_main = false;
  const platform::WindowHandle window = platform::CreateMessageWindow(
      [&](std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) -> std::intptr_t {
        if (msg != kMsgTriggerAvail) return 0;
        in_main = platform::CurrentThreadId() == main;
        EXPECT_EQ(DispatcherRegistry::HandleOf(lparam), d.DispatcherHandle());
        std::uint8_t c = 0;
        for (std::uintptr_t i = 0; i < wparam && d.ReadInputChar(c) == 0; ++i) {
          got.push_back(static_cast<char>(c));
        }
        return 0;
      });
  d.AddWindowHandler(window);
  d.RecomputeHandlerFlags(1);  // the port wants its events
  d.SetAvailThreshold(1);
  d.Feed("ping");
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 4; }));
  EXPECT_EQ(got, "ping");
  EXPECT_TRUE(in_main);
  EXPECT_TRUE(PumpUntil([&] { return d.InputUsed() == 0; }));
  d.RemoveWindowHandler(window);
  platform::DestroyMessageWindow(window);
}

TEST(DispatcherHandlers, SynchronizedMethodRunsInTheMainThread) {
  platform::SetMainThread();
  TMemoryDispatcher d;
  ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
  Recorder rec(d);
  std::atomic<bool> in_main{false};
  const platform::ThreadId main = platform::CurrentThreadId();
  rec.on_notice = [&](std::uint32_t, std::uintptr_t) {
    in_main = platform::CurrentThreadId() == main;
  };
  d.AddMethodHandler(rec.Method(), true);
  const std::int32_t timer = d.CreateTimerTrigger();
  d.ArmTimerTrigger(timer, 1, true);
  ASSERT_TRUE(PumpUntil([&] { return rec.Count() == 1; }));
  EXPECT_TRUE(in_main);
}

}  // namespace
}  // namespace qor::testing
