// Avail, data, status and timer triggers firing from the real dispatch thread.
#include <gtest/gtest.h>

#include <functional>

#include "comm/ticks.hpp"
#include "tests/dispatcher/dispatcher_fixture.hpp"

namespace qor::testing {
namespace {

using TriggersTest = DispatcherTest;

TEST(MatchDataTrigger, CursorsCarryPartialMatches) {
  struct Case {
    const char* pattern;
    const char* input;
    bool ignore_case;
    const char* hits;  // '1' where a byte completes a match
  };
  const Case cases[] = {
      {"OK", "OK", false, "01"},
      {"OK", "xOOK", false, "0001"},
      {"AA", "AAA", false, "011"},       // the completing byte opens a new match
      {"ABAB", "ABABAB", false, "000100"},  // a completed match restarts all
      {"ok", "OK", true, "01"},
      {"ok", "OK", false, "00"},
      {"abc", "ababc", false, "00001"},
      // Near-matches that restart together must not use up the slots that a
      // partial match begun in between needs.
      {"ABABAB*AV", "ABABAABAABABAABABAABABABABAB*AV", false,
       "0000000000000000000000000000001"},
  };
  for (const Case& c : cases) {
    std::array<std::int32_t, kDataTriggerCursors> cursors{};
    std::array<char, kDataTriggerStringSize> string{};
    const std::string pattern = c.pattern;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      string[i] = c.ignore_case ? static_cast<char>(std::toupper(pattern[i])) : pattern[i];
    }
    std::string hits;
    for (const char* p = c.input; *p != '\0'; ++p) {
      hits += MatchDataTrigger(cursors, static_cast<std::uint8_t>(*p),
                               static_cast<std::int32_t>(pattern.size()), c.ignore_case, string)
                  ? '1'
                  : '0';
    }
    EXPECT_EQ(hits, c.hits) << c.pattern << " in " << c.input;
  }
}

TEST_F(TriggersTest, PartlyReadBytesAreAnnouncedAgainOnlyWithNewData) {
  d.SetAvailThreshold(1);
  recorder.read_limit = 3;
  d.Feed("ABCDE");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 1; }));
  // Nothing new arrived: the two unread bytes are not announced again.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(recorder.Count(), 1u);
  EXPECT_EQ(d.InputUsed(), 2);
  d.Feed("F");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 2; }));
  const std::vector<Notice> expected = {{kMsgTriggerAvail, 5, 0, "ABC"},
                                        {kMsgTriggerAvail, 3, 0, "DEF"}};
  EXPECT_EQ(recorder.Notices(), expected);
}

TEST_F(TriggersTest, ARingFullOfNewBytesIsAnnouncedWhereTheLastNoticeStood) {
  // One pass moves all queued input it has room for: here exactly one turn
  // of the ring, so the head ends where the first notice left it.
  d.SetAvailThreshold(1);
  d.Feed(std::string(100, 'a'));
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 1; }));
  std::string turn(kRecvRingSize, 'b');
  turn.back() = 'c';
  d.Feed(turn);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 2; }));
  const std::vector<Notice> notices = recorder.Notices();
  EXPECT_EQ(notices[1].wparam, static_cast<std::uintptr_t>(kRecvRingSize));
  EXPECT_EQ(notices[1].read, turn);
  EXPECT_EQ(d.InputUsed(), 0);
}

TEST_F(TriggersTest, HandlersOfOneNoticeReadTheSameBytesAndTheRingGivesUpTheMost) {
  Recorder second(d);
  recorder.read_limit = 2;
  second.read_limit = 4;
  d.AddMethodHandler(second.Method(), false);
  d.SetAvailThreshold(1);
  d.Feed("123456");
  ASSERT_TRUE(PumpUntil([&] { return second.Count() == 1; }));
  EXPECT_EQ(recorder.Notices()[0].read, "12");
  EXPECT_EQ(second.Notices()[0].read, "1234");
  EXPECT_TRUE(PumpUntil([&] { return d.InputUsed() == 2; }));
  std::uint8_t c = 0;
  ASSERT_EQ(d.ReadInputChar(c), 0);
  EXPECT_EQ(c, '5');
}

TEST_F(TriggersTest, ManyBytesAtOnceAreTakenAsOneByOneReadsWouldTakeThem) {
  // Inside a notice: the batch starts where this handler's reads stand and
  // counts like them, so the ring again gives up what the most eager took.
  Recorder second(d);
  std::string batch(8, '\0');
  recorder.on_notice = [&](std::uint32_t, std::uintptr_t) {
    std::uint8_t c = 0;
    ASSERT_EQ(d.ReadInputChar(c), 0);
    const auto n = d.TakeInputChars(reinterpret_cast<std::uint8_t*>(batch.data()), 2);
    batch.resize(static_cast<std::size_t>(n));
  };
  second.read_limit = 1;
  d.AddMethodHandler(second.Method(), false);
  d.SetAvailThreshold(1);
  d.Feed("123456");
  ASSERT_TRUE(PumpUntil([&] { return second.Count() == 1; }));
  EXPECT_EQ(batch, "23");
  EXPECT_EQ(second.Notices()[0].read, "1");
  ASSERT_TRUE(PumpUntil([&] { return d.InputUsed() == 3; }));

  // Outside: looking does not take, taking moves on.
  recorder.on_notice = [](std::uint32_t, std::uintptr_t) {};
  std::uint8_t look[8] = {};
  ASSERT_EQ(d.CopyWaitingInput(look, 8), 3);
  EXPECT_EQ(std::string(look, look + 3), "456");
  EXPECT_EQ(d.InputUsed(), 3);
  d.TakeWaitingInput(1);
  std::uint8_t c = 0;
  ASSERT_EQ(d.ReadInputChar(c), 0);
  EXPECT_EQ(c, '5');
  EXPECT_EQ(d.TakeInputChars(look, 8), 1);
  EXPECT_EQ(look[0], '6');
  EXPECT_EQ(d.TakeInputChars(look, 8), 0);
}

TEST_F(TriggersTest, DataTriggerNotices) {
  struct Case {
    const char* name;
    std::int32_t threshold;
    const char* pattern;
    std::vector<std::string> reads;  // fed one after another
    std::vector<std::pair<std::uint32_t, std::uintptr_t>> expected;  // msg, wParam (0 = handle)
  };
  const Case cases[] = {
      {"match across reads", 0, "OK", {"O", "K"}, {{kMsgTriggerData, 0}}},
      // Nothing is read, so the scan's new position announces all five bytes last.
      {"avail before data",
       3,
       "OK",
       {"xyzOK"},
       {{kMsgTriggerAvail, 3}, {kMsgTriggerData, 0}, {kMsgTriggerAvail, 5}}},
      {"overlapping", 0, "AA", {"AAA"}, {{kMsgTriggerData, 0}, {kMsgTriggerData, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryDispatcher port;
    Recorder rec(port);
    rec.on_notice = [](std::uint32_t, std::uintptr_t) {};  // read nothing
    ASSERT_EQ(port.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
    port.AddMethodHandler(rec.Method(), false);
    port.SetAvailThreshold(c.threshold);
    const std::int32_t handle = port.AddDataTrigger(c.pattern, false);
    ASSERT_GT(handle, 0);
    for (const std::string& r : c.reads) {
      port.Feed(r);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(PumpUntil([&] { return rec.Count() >= c.expected.size(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto notices = rec.Notices();
    ASSERT_EQ(notices.size(), c.expected.size());
    for (std::size_t i = 0; i < notices.size(); ++i) {
      EXPECT_EQ(notices[i].msg, c.expected[i].first);
      const std::uintptr_t wparam =
          c.expected[i].first == kMsgTriggerData ? static_cast<std::uintptr_t>(handle)
                                                 : c.expected[i].second;
      EXPECT_EQ(notices[i].wparam, wparam);
      if (notices[i].msg == kMsgTriggerData) {
        EXPECT_EQ(notices[i].low, std::string(c.pattern).size());
      }
    }
  }
}

// What a handler purges is gone for the triggers too: a string in the purged
// bytes that the scan had not reached yet does not fire.
TEST_F(TriggersTest, PurgedBytesMatchNoDataTrigger) {
  const std::int32_t first = d.AddDataTrigger("AB", false);
  const std::int32_t second = d.AddDataTrigger("CD", false);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  recorder.on_notice = [&](std::uint32_t msg, std::uintptr_t wparam) {
    if (msg == kMsgTriggerData && wparam == static_cast<std::uintptr_t>(first)) d.PurgeInput();
  };
  d.Feed("ABCD");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() >= 1; }));
  // Later bytes are scanned as before.
  d.Feed("CD");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() >= 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::vector<Notice> notices = recorder.Notices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].wparam, static_cast<std::uintptr_t>(first));
  EXPECT_EQ(notices[1].wparam, static_cast<std::uintptr_t>(second));
}

TEST_F(TriggersTest, HandlesRunOutAndTheLowestFreeIsReused) {
  EXPECT_EQ(d.DeleteTrigger(0), -5003);
  d.SetAvailThreshold(4);
  EXPECT_EQ(d.DeleteTrigger(kAvailTriggerHandle), 0);
  EXPECT_EQ(d.AvailThreshold(), 0);

  for (std::int32_t i = 1; i <= 4095; ++i) ASSERT_EQ(d.CreateTimerTrigger(), i * 8);
  // Every multiple of 8 up to 4096 is in use.
  EXPECT_EQ(d.CreateTimerTrigger(), -5001);
  EXPECT_EQ(d.CreateStatusTrigger(stOutSent), -5001);
  ASSERT_EQ(d.DeleteTrigger(24), 0);
  ASSERT_EQ(d.DeleteTrigger(16), 0);
  EXPECT_EQ(d.CreateStatusTrigger(stModem), 16 | stModem);
  EXPECT_EQ(d.CreateTimerTrigger(), 24);
  EXPECT_EQ(d.CreateTimerTrigger(), -5001);
  EXPECT_EQ(d.CreateStatusTrigger(6), -1002);
  EXPECT_EQ(d.AddDataTrigger(std::string(23, 'x'), false), -5002);
}

TEST_F(TriggersTest, StatusTriggerFiresOncePerArming) {
  const std::int32_t used = d.CreateStatusTrigger(stOutUsed);
  ASSERT_GT(used, 0);
  ASSERT_EQ(d.ArmStatusTrigger(used, 0, true), 0);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(recorder.Count(), 1u);
  EXPECT_EQ(recorder.Notices()[0], (Notice{kMsgTriggerStatus, static_cast<std::uintptr_t>(used), 0, ""}));
  ASSERT_EQ(d.ArmStatusTrigger(used, 0, true), 0);
  EXPECT_TRUE(PumpUntil([&] { return recorder.Count() == 2; }));
  EXPECT_EQ(d.ArmStatusTrigger(used + 8, 0, true), -5003);
  EXPECT_EQ(d.ArmTimerTrigger(used, 1, true), -5003);
}

TEST(StatusTriggers, EachKindFiresOncePerArming) {
  struct Case {
    const char* name;
    std::int32_t kind;
    std::int32_t value;
    std::function<void(TMemoryDispatcher&)> cause;
    std::uint16_t low;  // lParam low word of the notice
  };
  const std::uint8_t byte = 'x';
  const Case cases[] = {
      {"modem: DCD rises", stModem, 0x80,
       [](TMemoryDispatcher& p) {
         p.modem_status = 0x80;
         p.FeedStatus(kEvRlsd);
       },
       0},
      {"line: framing error", stLine, 4,
       [](TMemoryDispatcher& p) {
         p.pending_errors = 8;
         p.FeedStatus(kEvErr);
       },
       0},
      {"output free: at least 60", stOutFree, 60, [](TMemoryDispatcher&) {}, 64},
      {"output used: at most 0", stOutUsed, 0, [](TMemoryDispatcher&) {}, 0},
      {"output sent", stOutSent, 0, [&](TMemoryDispatcher& p) { p.WriteBlock(&byte, 1); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryDispatcher port;
    Recorder rec(port);
    ASSERT_EQ(port.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0);
    port.AddMethodHandler(rec.Method(), false);
    const std::int32_t handle = port.CreateStatusTrigger(c.kind);
    ASSERT_EQ(handle & 7, c.kind);
    ASSERT_EQ(port.ArmStatusTrigger(handle, c.value, true), 0);
    c.cause(port);
    ASSERT_TRUE(PumpUntil([&] { return rec.Count() == 1; }));
    port.DrainOutput();
    c.cause(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_EQ(rec.Count(), 1u);
    EXPECT_EQ(rec.Notices()[0],
              (Notice{kMsgTriggerStatus, static_cast<std::uintptr_t>(handle), c.low, ""}));
    // Armed again, it fires again.
    ASSERT_EQ(port.ArmStatusTrigger(handle, c.value, true), 0);
    if (c.kind == stModem) {
      port.modem_status = 0;  // armed while DCD is high: its fall fires
      port.FeedStatus(kEvRlsd);
    } else {
      c.cause(port);
    }
    EXPECT_TRUE(PumpUntil([&] { return rec.Count() == 2; }));
  }
}

TEST_F(TriggersTest, LineStatusBetweenDataKeepsItsPlace) {
  const std::int32_t line = d.CreateStatusTrigger(stLine);
  ASSERT_EQ(d.ArmStatusTrigger(line, 1, true), 0);  // watch overruns
  d.SetAvailThreshold(1);
  std::vector<std::int32_t> unread_at_status;
  recorder.on_notice = [&](std::uint32_t msg, std::uintptr_t wparam) {
    if (msg == kMsgTriggerStatus) {
      unread_at_status.push_back(d.InputUsed());
      return;
    }
    std::uint8_t c = 0;
    for (std::uintptr_t i = 0; i < wparam; ++i) d.ReadInputChar(c);
  };
  d.Feed("ab");
  d.pending_errors = 2;
  d.FeedStatus(kEvErr);
  d.Feed("cd");
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 3; }));
  const auto notices = recorder.Notices();
  EXPECT_EQ(notices[0].msg, kMsgTriggerAvail);
  EXPECT_EQ(notices[0].wparam, 2u);
  EXPECT_EQ(notices[1].msg, kMsgTriggerStatus);
  EXPECT_EQ(notices[2].msg, kMsgTriggerAvail);
  EXPECT_EQ(notices[2].wparam, 2u);
  // "cd" was still behind the status event when the status trigger fired.
  EXPECT_EQ(unread_at_status, std::vector<std::int32_t>{0});
}

TEST_F(TriggersTest, TimerTriggerExpiresOnceAndReportsTicksLeft) {
  const std::int32_t timer = d.CreateTimerTrigger();
  ASSERT_GT(timer, 0);
  ASSERT_EQ(d.ArmTimerTrigger(timer, 100, true), 0);
  std::int32_t left = -1;
  ASSERT_EQ(d.TimerTicksLeft(timer, left), 0);
  EXPECT_GT(left, 95);
  EXPECT_LE(left, 100);
  ASSERT_EQ(d.ArmTimerTrigger(timer, 2, true), 0);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 1; }));
  EXPECT_EQ(recorder.Notices()[0].msg, kMsgTriggerTimer);
  EXPECT_EQ(recorder.Notices()[0].wparam, static_cast<std::uintptr_t>(timer));
  ASSERT_EQ(d.TimerTicksLeft(timer, left), 0);
  EXPECT_EQ(left, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(recorder.Count(), 1u);
}

TEST_F(TriggersTest, ChangesMadeWhileTheDispatchThreadSleepsAreLookedAtAtOnce) {
  // With nothing armed the dispatch thread sleeps up to a second; what is
  // armed or lowered meanwhile must not wait for the end of that sleep.
  using Clock = std::chrono::steady_clock;
  const auto within = [](Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
  };
  const std::int32_t timer = d.CreateTimerTrigger();
  ASSERT_GT(timer, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  auto armed = Clock::now();
  ASSERT_EQ(d.ArmTimerTrigger(timer, 1, true), 0);  // due in 55 to 110 ms
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 1; }));
  EXPECT_LT(within(armed), 600);

  d.SetAvailThreshold(5);
  d.Feed("abc");
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(recorder.Count(), 1u);  // fewer than the threshold
  armed = Clock::now();
  d.SetAvailThreshold(1);
  ASSERT_TRUE(PumpUntil([&] { return recorder.Count() == 2; }));
  EXPECT_LT(within(armed), 600);
  EXPECT_EQ(recorder.Notices()[1], (Notice{kMsgTriggerAvail, 3, 0, "abc"}));
}

TEST(TickTimer, WrapOfTheClockCountsAsExpiredWithinTheCap) {
  TTickTimer t;
  StartTickTimer(t, 10, 100);
  EXPECT_FALSE(TickTimerExpired(t, 105));
  EXPECT_EQ(TickTimerRemaining(t, 105), 5);
  EXPECT_TRUE(TickTimerExpired(t, 111));
  EXPECT_EQ(TickTimerRemaining(t, 111), 0);
  // A start far in the future of "now" means the clock wrapped meanwhile.
  StartTickTimer(t, 10, kMaxTimerTicks - 100);
  EXPECT_TRUE(TickTimerExpired(t, 5));
  StartTickTimer(t, 1 << 30, 0);
  EXPECT_EQ(t.ExpireTicks, kMaxTimerTicks);
}

TEST(TickTimer, MillisecondsLeftEndAtTheStartOfTheTickAfterTheLast) {
  TTickTimer t;
  StartTickTimer(t, 2, 100);  // expired from tick 103 on
  EXPECT_EQ(TickTimerMsLeft(t, 100 * kMsPerTick + 10), 3 * kMsPerTick - 10);
  EXPECT_EQ(TickTimerMsLeft(t, 102 * kMsPerTick + 54), 1u);
  EXPECT_EQ(TickTimerMsLeft(t, 103 * kMsPerTick), 0u);
}

}  // namespace
}  // namespace qor::testing
