// The com port component on pseudo-terminals reached through the port table.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "comm/comport/com_port.hpp"
#include "comm/errors/exceptions.hpp"
#include "comm/platform/message_queue.hpp"
#include "tests/device/device_test_support.hpp"
#include "tests/device/pty_pair.hpp"
#include "tests/support/pump_until.hpp"

namespace qor::testing {
namespace {

// A pty mapped to "COM<number>" through the port table's environment override.
class MappedPty {
 public:
  explicit MappedPty(int number) : number_(number) {
    ::setenv(Name().c_str(), pty_.Path().c_str(), 1);
  }
  ~MappedPty() { ::unsetenv(Name().c_str()); }
  std::string Name() const { return "COM" + std::to_string(number_); }
  int Number() const { return number_; }
  PtyPair& Line() { return pty_; }

 private:
  int number_;
  PtyPair pty_;
};

class ComPortTest : public ::testing::Test {
 protected:
  ComPortTest() : pty(201) {
    port.SetComNumber(201);
    port.SetBaud(115200);
  }
  MappedPty pty;
  TQorComPort port;
};

std::vector<std::string>* g_journal = nullptr;

void WatchA(void*, TQorCustomComPort&, TPortNotice n) {
  g_journal->push_back("A" + std::to_string(n));
}
void WatchB(void*, TQorCustomComPort&, TPortNotice n) {
  g_journal->push_back("B" + std::to_string(n));
}

TEST_F(ComPortTest, NoticesReachWatchersLastFirstThenTheEvents) {
  std::vector<std::string> journal;
  g_journal = &journal;
  port.AddPortWatch(&WatchA, nullptr);
  port.AddPortWatch(&WatchB, nullptr);
  port.SetOnPortOpen([&](TQorCustomComPort&) { journal.push_back("open"); });
  port.SetOnPortClose([&](TQorCustomComPort&) { journal.push_back("close"); });
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.OpenState(), cpsOpen);
  EXPECT_EQ(port.Dispatcher()->DeviceName(), "COM201");
  port.SetOpen(false);
  EXPECT_EQ(port.Dispatcher(), nullptr);
  EXPECT_EQ(journal, (std::vector<std::string>{"B0", "A0", "open", "B1", "A1", "B2", "A2",
                                               "close"}));
  port.RemovePortWatch(&WatchA);
  journal.clear();
  port.SetOpen(true);
  port.SetOpen(false);
  EXPECT_EQ(journal, (std::vector<std::string>{"B0", "open", "B1", "B2", "close"}));
}

TEST_F(ComPortTest, AFailedDeviceClosesThePortAndTellsWhy) {
  ShownErrors shown;
  std::vector<std::string> journal;
  g_journal = &journal;
  port.AddPortWatch(&WatchA, nullptr);
  port.SetOpen(true);
  pty.Line().ClosePeer();  // the adapter is pulled out
  ASSERT_TRUE(PumpUntil([&] { return !port.Open(); }));
  EXPECT_EQ(port.DeviceFailure(), -161);
  EXPECT_EQ(journal, (std::vector<std::string>{"A0", "A1", "A2"}));
  EXPECT_EQ(shown.Texts(), std::vector<std::string>{"Device read error"});
  port.RemovePortWatch(&WatchA);
  g_journal = nullptr;
}

template <class E>
void ExpectOpenRaises(TQorComPort& p, std::int32_t code) {
  try {
    p.SetOpen(true);
    ADD_FAILURE() << "no exception, expected " << code;
  } catch (const E& e) {
    EXPECT_EQ(e.ErrorCode(), code);
  }
  EXPECT_FALSE(p.Open());
  EXPECT_EQ(p.Dispatcher(), nullptr);
  EXPECT_EQ(p.OpenState(), cpsClosed);
}

TEST(ComPortOpen, FailuresLeaveThePortClosedWithTheirCodes) {
  TQorComPort p;
  p.SetPromptForPort(false);
  ExpectOpenRaises<ENoPortSelected>(p, -2011);

  p.SetPromptForPort(true);
  const TPortPrompt before = SetPortPrompt(nullptr);  // no dialog installed
  ExpectOpenRaises<ENoPortSelected>(p, -2011);
  SetPortPrompt([](std::int32_t&) { return false; });  // the user cancels
  ExpectOpenRaises<ENoPortSelected>(p, -2011);

  MappedPty pty(202);
  SetPortPrompt([](std::int32_t& n) {
    n = 202;
    return true;
  });
  p.SetOpen(true);
  EXPECT_EQ(p.ComNumber(), 202);
  SetPortPrompt(before);

  TQorComPort second;
  second.SetComNumber(202);
  ExpectOpenRaises<EAlreadyOpen>(second, -2008);  // held by the first
  p.SetOpen(false);

  ::setenv("COM203", "/dev/no-such-serial-device", 1);
  TQorComPort missing;
  missing.SetComNumber(203);
  ExpectOpenRaises<EBadId>(missing, -2001);
  ::unsetenv("COM203");
}

TEST_F(ComPortTest, AvailHandlerReadsExactlyTheAnnouncedBytes) {
  std::string got;
  std::vector<int> counts;
  port.SetOnTriggerAvail([&](TQorCustomComPort& cp, std::uint16_t count) {
    counts.push_back(count);
    for (int i = 0; i < count; ++i) got.push_back(static_cast<char>(cp.ReadChar()));
  });
  port.SetOpen(true);
  pty.Line().Write("hello");
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 5; }));
  EXPECT_EQ(got, "hello");
  EXPECT_FALSE(port.InputReady());
  EXPECT_THROW(port.ReadChar(), EBufferIsEmpty);

  port.SendString("ping");
  EXPECT_EQ(pty.Line().Read(4), "ping");
}

TEST_F(ComPortTest, BlockLargerThanTheFreeOutputIsRefusedWhole) {
  port.SetOutSize(16);
  port.SetOpen(true);
  try {
    port.SendString(std::string(17, 'x'));
    ADD_FAILURE() << "no exception";
  } catch (const EOutputBufferTooSmall& e) {
    EXPECT_EQ(e.ErrorCode(), -3006);
  }
  port.SendString("");  // nothing to do
  port.SendString("ok");
  EXPECT_EQ(pty.Line().Read(2), "ok");
}

TEST_F(ComPortTest, ClosedPortWithoutAutoOpenRaisesNotOpen) {
  port.SetAutoOpen(false);
  EXPECT_THROW(port.SendChar('x'), ECommNotOpen);
  EXPECT_EQ(port.OutputFree(), 4096);
  EXPECT_EQ(port.OutputUsed(), 0);
  port.SetAutoOpen(true);
  port.SendChar('y');  // opens on demand
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(pty.Line().Read(1), "y");
}

TEST_F(ComPortTest, CloseInsideTheAvailEventIsDeferredAndAReopenWaitsForIt) {
  int events = 0;
  bool reopen = false;
  port.SetOnTriggerAvail([&](TQorCustomComPort& cp, std::uint16_t) {
    ++events;
    cp.SetOpen(false);
    EXPECT_EQ(cp.OpenState(), cpsShuttingDown);
    if (reopen) cp.SetOpen(true);  // remembered until the close completes
  });
  port.SetOpen(true);
  pty.Line().Write("x");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return port.OpenState() == cpsClosed; }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(port.Dispatcher(), nullptr);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(events, 1);

  reopen = true;
  port.SetOpen(true);
  pty.Line().Write("y");
  ASSERT_TRUE(PumpUntil([&] { return events == 2 && port.OpenState() == cpsOpen; }))
      << "events " << events << " state " << port.OpenState();
  EXPECT_TRUE(port.Open());
  ASSERT_NE(port.Dispatcher(), nullptr);
  port.SetOnTriggerAvail(nullptr);
  port.SetOpen(false);
}

TEST_F(ComPortTest, ChangingTheNumberWhileOpenKeepsTriggersTraceAndLog) {
  MappedPty other(204);
  const auto dir = std::filesystem::temp_directory_path() / "comport_renumber";
  std::filesystem::create_directories(dir);
  port.SetTraceName((dir / "t.trc").string());
  port.SetLogName((dir / "t.log").string());
  port.SetTracing(tlOn);
  port.SetLogging(tlOn);
  port.SetOpen(true);
  const std::int32_t timer = port.NewTimerTrigger();
  port.SetComNumber(204);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.Dispatcher()->DeviceName(), "COM204");
  EXPECT_EQ(port.Tracing(), tlOn);
  EXPECT_EQ(port.Logging(), tlOn);
  EXPECT_NO_THROW(port.ArmTimerTrigger(timer, 1, true));  // still known
  port.SendString("AT\r");
  EXPECT_EQ(other.Line().Read(3), "AT\r");
  port.SetOpen(false);
  // The close wrote both files.
  std::ifstream trace(dir / "t.trc", std::ios::binary);
  std::stringstream text;
  text << trace.rdbuf();
  EXPECT_EQ(text.str(), "Transmit: \r\nAT[0D]");
  EXPECT_TRUE(std::filesystem::exists(dir / "t.log"));
  EXPECT_EQ(port.Tracing(), tlOff);
  std::filesystem::remove_all(dir);
}

TEST(ComPortProperties, ThresholdsCapsAndRs485Rules) {
  TQorComPort p;
  p.SetHWFlowOptions(hwfUseRTS);
  EXPECT_EQ(p.BufferFull(), 3686);
  EXPECT_EQ(p.BufferResume(), 409);

  TQorComPort s;
  s.SetSWFlowOptions(swfBoth);
  EXPECT_EQ(s.BufferFull(), 3072);
  EXPECT_EQ(s.BufferResume(), 1024);

  TQorComPort r;
  r.SetHWFlowOptions(hwfUseRTS | hwfRequireDSR);
  r.SetRS485Mode(true);
  EXPECT_EQ(r.HWFlowOptions(), hwfRequireDSR);
  EXPECT_FALSE(r.RTS());
  r.SetHWFlowOptions(hwfRequireCTS);  // flow control on RTS/CTS ends RS-485
  EXPECT_FALSE(r.RS485Mode());

  TQorComPort t;
  t.SetTraceSize(5000000);
  EXPECT_EQ(t.TraceSize(), 4000000u);
  t.SetLogSize(20000000);
  EXPECT_EQ(t.LogSize(), 16000000u);
  t.SetTracing(tlDump);
  EXPECT_EQ(t.Tracing(), tlOff);
  t.SetTracing(tlPause);
  EXPECT_EQ(t.Tracing(), tlOff);
  t.SetTracing(tlOn);
  EXPECT_EQ(t.Tracing(), tlOn);
  t.SetVersion("x");
  EXPECT_EQ(t.Version(), "v4.07");
}

TEST_F(ComPortTest, TriggerMessageFromAnUnknownDispatcherIsIgnored) {
  int events = 0;
  port.SetOnTriggerAvail([&](TQorCustomComPort&, std::uint16_t) { ++events; });
  port.SetOpen(true);
  std::intptr_t answer = -1;
  ASSERT_TRUE(platform::SendMessageTimeout(port.Window(), kMsgTriggerAvail, 3,
                                           static_cast<std::intptr_t>(999) << 16, 1000, false,
                                           &answer));
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(events, 0);
}

TEST(ComPortLocate, FindsTheFirstPortDepthFirst) {
  TQorBaseComponent form;
  auto* panel = new TQorBaseComponent(&form);
  auto* inner = new TQorComPort(panel);
  auto* later = new TQorComPort(&form);
  EXPECT_EQ(LocateComPort(&form), inner);
  EXPECT_EQ(LocateComPort(panel), inner);
  EXPECT_EQ(LocateComPort(later), nullptr);
  EXPECT_EQ(LocateComPort(nullptr), nullptr);
}

}  // namespace
}  // namespace qor::testing
