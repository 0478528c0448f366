// The termios device layer and its threads on pseudo-terminal pairs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include <termios.h>
#include <unistd.h>

#include "comm/device/modem_lines.hpp"
#include "comm/errors/exceptions.hpp"
#include "tests/device/device_test_support.hpp"
#include "tests/device/pty_pair.hpp"

namespace qor::testing {
namespace {

using namespace std::chrono_literals;

std::int32_t Open(TQorBaseDispatcher& d, const std::string& path, std::int32_t out_size = 8192) {
  return d.OpenPort(path, 115200, 0, 8, 1, 4096, out_size, kOpenDtrOn | kOpenRtsOn);
}

// Reproducible bytes of every value.
std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 12345;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

std::string Letters(std::size_t n) {
  std::string s(n, 'a');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// Queues all of data as the output ring makes room; false if it stalls.
bool QueueAll(TQorBaseDispatcher& d, std::string_view data) {
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!data.empty()) {
    const auto n = std::min<std::size_t>(data.size(), static_cast<std::size_t>(d.OutputFree()));
    if (n == 0) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(100us);
      continue;
    }
    if (WriteText(d, data.substr(0, n)) != 0) return false;
    data.remove_prefix(n);
  }
  return true;
}

TEST(PosixDispatcher, OpensExclusivelyAndCloseReleasesThePort) {
  PtyPair pty;
  TQorPosixDispatcher first(nullptr);
  TQorPosixDispatcher second(nullptr);
  ASSERT_EQ(Open(first, pty.Path()), 0);
  EXPECT_EQ(first.RunningThreads(), 4);
  EXPECT_EQ(Open(second, pty.Path()), -5);
  EXPECT_EQ(second.RunningThreads(), 0);
  EXPECT_FALSE(second.IsOpen());
  first.ClosePort();
  EXPECT_EQ(first.RunningThreads(), 0);
  EXPECT_EQ(Open(second, pty.Path()), 0);
}

TEST(PosixDispatcher, WhatIsNoSerialPortDoesNotExist) {
  char file[] = "/tmp/not-a-port-XXXXXX";
  const int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  unsetenv("COM254");
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"no such path", "/nonexistent/ttyUSB0"},
      {"a regular file", file},
      {"a directory", "/tmp"},
      {"a port number the table does not have", "COM254"},
  };
  for (const auto& c : cases) {
    TQorPosixDispatcher d(nullptr);
    EXPECT_EQ(Open(d, c.name), -2) << c.what;
    EXPECT_EQ(d.RunningThreads(), 0) << c.what;
    EXPECT_FALSE(d.IsOpen()) << c.what;
  }
  std::remove(file);
}

TEST(PosixDispatcher, BytesFromThePeerReachTheAvailHandlerUnchanged) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  AvailReader reader(d);
  const std::string all = AllByteValues();
  pty.Write(all);
  ASSERT_TRUE(WaitUntil([&] { return reader.Received().size() >= all.size(); }));
  EXPECT_EQ(reader.Received(), all);
}

// The slave's termios, read through the master (a pty's two ends share them).
int ReadMinimumOf(const PtyPair& pty) {
  termios t{};
  return tcgetattr(pty.Peer(), &t) == 0 ? t.c_cc[VMIN] : -1;
}

TEST(PosixDispatcher, AThresholdHoldsInputBackUntilEnoughIsThereYetNothingIsLost) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  AvailReader reader(d);
  d.SetAvailThreshold(600);
  const std::string data = Pattern(1500);
  // Fewer bytes than asked for wait in the driver, but not for long: a reader
  // of the ring sees them.
  pty.Write(data.substr(0, 100));
  ASSERT_TRUE(WaitUntil([&] { return d.InputUsed() == 100; }, 2000));
  EXPECT_EQ(ReadMinimumOf(pty), 255);  // at most what VMIN holds
  EXPECT_EQ(reader.Received(), "");
  // Enough, in pieces of any size: all of it, in order.
  pty.Write(data.substr(100, 700));
  ASSERT_TRUE(WaitUntil([&] { return reader.Received().size() >= 800; }));
  EXPECT_EQ(reader.Received(), data.substr(0, 800));
  // Back to every byte as it comes.
  d.SetAvailThreshold(1);
  pty.Write(data.substr(800, 1));
  ASSERT_TRUE(WaitUntil([&] { return reader.Received().size() >= 801; }));
  EXPECT_EQ(ReadMinimumOf(pty), 1);
  d.SetAvailThreshold(600);
  pty.Write(data.substr(801));
  ASSERT_TRUE(WaitUntil([&] { return reader.Received().size() >= data.size(); }));
  EXPECT_EQ(reader.Received(), data);
  // The next program to open the line gets it as we found it.
  d.SetAvailThreshold(1000);
  pty.Write(data.substr(0, 10));
  ASSERT_TRUE(WaitUntil([&] { return ReadMinimumOf(pty) > 1; }, 2000));
  d.ClosePort();
  EXPECT_EQ(ReadMinimumOf(pty), 1);
}

TEST(PosixDispatcher, WrittenBytesReachThePeerUnchanged) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  const std::string all = AllByteValues();
  ASSERT_EQ(WriteText(d, all), 0);
  EXPECT_EQ(pty.Read(all.size()), all);
}

TEST(PosixDispatcher, ALargeBlockReachesASlowReaderWholeAndInOrder) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path(), 16384), 0);
  const std::string data = Pattern(512 * 1024);
  std::atomic<bool> queued{false};
  std::thread writer([&] { queued = QueueAll(d, data); });
  std::string got;
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (got.size() < data.size() && std::chrono::steady_clock::now() < end) {
    got += pty.Read(std::min<std::size_t>(512, data.size() - got.size()), 100);
    std::this_thread::sleep_for(100us);
  }
  writer.join();
  EXPECT_TRUE(queued);
  ASSERT_EQ(got.size(), data.size());
  const auto mismatch = std::mismatch(got.begin(), got.end(), data.begin());
  EXPECT_TRUE(mismatch.first == got.end()) << "first difference at " << (mismatch.first - got.begin());
}

// While a handler holds the dispatch thread, the read thread takes the input
// off the driver (a pty holds far less than is sent here, so the peer's write
// only ends if somebody reads), and what both threads read arrives whole and
// in order.
TEST(PosixDispatcher, InputGoesOnBeingReadWhileAHandlerIsSlow) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::mutex mutex;
  std::string got;
  struct Handler {
    std::atomic<bool>* holding;
    std::atomic<bool>* release;
    std::mutex* mutex;
    std::string* got;
    TQorBaseDispatcher* d;
  } h{&holding, &release, &mutex, &got, &d};
  auto call = [](void* self, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) {
    auto& me = *static_cast<Handler*>(self);
    if (msg != kMsgTriggerAvail) return;
    std::string piece;
    std::uint8_t c = 0;
    for (std::uintptr_t i = 0; i < wparam && me.d->ReadInputChar(c) == 0; ++i) {
      piece.push_back(static_cast<char>(c));
    }
    {
      std::lock_guard lock(*me.mutex);
      *me.got += piece;
    }
    if (!me.holding->exchange(true)) {
      const auto end = std::chrono::steady_clock::now() + 20s;
      while (!me.release->load() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
      }
    }
  };
  d.SetAvailThreshold(1);
  d.AddMethodHandler({&h, call}, false);
  const std::string data = "!" + Pattern(256 * 1024);
  pty.Write(data.substr(0, 1));
  ASSERT_TRUE(WaitUntil([&] { return holding.load(); }));
  std::atomic<bool> written{false};
  std::thread peer([&] {
    pty.Write(data.substr(1));
    written = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return written.load(); }, 10000)) << "nobody read while the handler ran";
  release = true;
  peer.join();
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard lock(mutex);
    return got.size() >= data.size();
  }, 20000));
  d.RemoveMethodHandler({&h, call});
  std::lock_guard lock(mutex);
  ASSERT_EQ(got.size(), data.size());
  const auto mismatch = std::mismatch(got.begin(), got.end(), data.begin());
  EXPECT_TRUE(mismatch.first == got.end()) << "first difference at " << (mismatch.first - got.begin());
}

TEST(PosixDispatcher, PurgingOutputDuringALongWriteIsPromptAndDropsTheRest) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path(), 65536), 0);
  // Two ring-fulls, more than the pty's buffers take in while nobody reads,
  // so that a block stays in the write thread's hands.
  const std::string block = Letters(120000);
  ASSERT_EQ(WriteText(d, block.substr(0, 60000)), 0);
  ASSERT_TRUE(WaitUntil([&] { return d.OutputFree() == 65536 && pty.Pending() > 0; }));
  ASSERT_EQ(WriteText(d, block.substr(60000)), 0);
  // The block being written still counts as output, beside what waits in the ring.
  const std::int32_t used = d.OutputUsed();
  EXPECT_GT(used, 65536 - d.OutputFree());

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(d.PurgeOutput(), 1);
  // Acknowledged by the write thread, not given up on after 5 s.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(d.OutputUsed(), 0);

  ASSERT_EQ(WriteText(d, "<END>"), 0);
  const std::string got = pty.ReadUntil("<END>");
  ASSERT_TRUE(got.ends_with("<END>"));
  const std::string before = got.substr(0, got.size() - 5);
  EXPECT_LT(before.size(), block.size());
  EXPECT_EQ(before, block.substr(0, before.size()));
}

std::set<std::string> ThreadIds() {
  std::set<std::string> ids;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    ids.insert(task.path().filename().string());
  }
  return ids;
}

// Times the threads of this process not in `old` went to sleep, all together.
long SleepsOfNewThreads(const std::set<std::string>& old) {
  long total = 0;
  for (const std::string& id : ThreadIds()) {
    if (old.contains(id)) continue;
    std::ifstream status("/proc/self/task/" + id + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("voluntary_ctxt_switches:")) total += std::stol(line.substr(24));
    }
  }
  return total;
}

// Counts the status notices of one trigger, in the dispatch thread.
struct StatusNotices {
  std::int32_t trigger = 0;
  std::atomic<int> count{0};
  static void Call(void* self, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) {
    auto* s = static_cast<StatusNotices*>(self);
    if (msg == kMsgTriggerStatus && wparam == static_cast<std::uintptr_t>(s->trigger)) ++s->count;
  }
};

TEST(PosixDispatcher, AWaitForRoomSleepsUntilTheWriterMakesSome) {
  PtyPair pty;
  StatusNotices room;  // outlives the dispatcher that calls it
  TQorPosixDispatcher d(nullptr);
  // A sanitizer's runtime starts its own helper thread with the first
  // thread the program starts: let that be one of ours, not the port's.
  std::thread([] {}).join();
  const std::set<std::string> not_the_ports = ThreadIds();
  ASSERT_EQ(Open(d, pty.Path(), 16384), 0);
  room.trigger = d.CreateStatusTrigger(stOutFree);
  ASSERT_GT(room.trigger, 0);
  d.AddMethodHandler({&room, &StatusNotices::Call}, false);
  // The writer holds a block the pty cannot take, and the ring is nearly full.
  const std::string block = Pattern(32000);
  ASSERT_EQ(WriteText(d, block.substr(0, 16000)), 0);
  ASSERT_TRUE(WaitUntil([&] { return d.OutputFree() == 16384 && pty.Pending() > 0; }));
  ASSERT_EQ(WriteText(d, block.substr(16000)), 0);
  ASSERT_EQ(d.ArmStatusTrigger(room.trigger, 8000, true), 0);

  std::this_thread::sleep_for(200ms);
  const long before = SleepsOfNewThreads(not_the_ports);
  std::this_thread::sleep_for(1s);
  // The read thread's stand-by look and the dispatch thread's longest
  // sleep, once a second each; a dispatch thread that looked every 50 ms
  // would add 20.
  EXPECT_LT(SleepsOfNewThreads(not_the_ports) - before, 10);
  EXPECT_EQ(room.count.load(), 0);

  const std::string got = pty.ReadUntil(block.substr(block.size() - 20));
  EXPECT_EQ(got.size(), block.size());
  EXPECT_TRUE(got == block);
  EXPECT_TRUE(WaitUntil([&] { return room.count.load() == 1; }));
}

TEST(PosixDispatcher, BytesWrittenBeforeTheCloseReachAPeerThatReadsLater) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  // More than the other end takes in while nobody reads: the rest waits in
  // the kernel between the two ends, already written as far as we can tell.
  const std::string data = Pattern(6000);
  ASSERT_EQ(WriteText(d, data), 0);
  ASSERT_TRUE(WaitUntil([&] { return d.OutputUsed() == 0; }));
  EXPECT_TRUE(d.DeviceOutputDrained());
  d.ClosePort();
  const std::string got = pty.Read(data.size(), 2000);
  ASSERT_EQ(got.size(), data.size());
  EXPECT_TRUE(got == data);
}

TEST(PosixDispatcher, PeerHangingUpMidTransferEndsTheThreadsWithOneError) {
  ShownErrors shown;
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path(), 65536), 0);
  AvailReader reader(d);
  ASSERT_EQ(WriteText(d, Letters(60000)), 0);
  pty.Write("ping");
  ASSERT_TRUE(WaitUntil([&] { return reader.Received() == "ping"; }));
  ASSERT_EQ(pty.Read(1000).size(), 1000u);

  pty.ClosePeer();
  ASSERT_TRUE(WaitUntil([&] { return d.RunningThreads() == 0; }));
  d.ClosePort();
  EXPECT_FALSE(d.IsOpen());
  const auto texts = shown.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_TRUE(texts[0] == "Device read error" || texts[0] == "Device write error") << texts[0];
}

class StartableDispatcher : public TQorPosixDispatcher {
 public:
  using TQorPosixDispatcher::TQorPosixDispatcher;
  // The threads call the device layer's virtual functions: they must be gone
  // before this part of the object is.
  ~StartableDispatcher() override { ClosePort(); }
  using TQorPosixDispatcher::StartThreads;
};

TEST(PosixDispatcher, StartingThreadsTwiceRaisesAndLeavesThemRunning) {
  PtyPair pty;
  StartableDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  try {
    d.StartThreads();
    ADD_FAILURE() << "no exception";
  } catch (const EQORException& e) {
    EXPECT_STREQ(e.what(), "Dispatcher already started.");
  }
  EXPECT_EQ(d.RunningThreads(), 4);
  AvailReader reader(d);
  pty.Write("still here");
  EXPECT_TRUE(WaitUntil([&] { return reader.Received() == "still here"; }));
}

TEST(PosixDispatcher, LineSettingsReachTheDeviceIncludingCustomRates) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  const struct {
    std::int32_t baud;
    std::uint8_t stop_bits;
  } cases[] = {{9600, 2}, {250000, 1}, {31250, 2}, {0xFF10 + 11, 1}};  // the last: legacy 38400
  for (const auto& c : cases) {
    ASSERT_EQ(d.SetLineParams(c.baud, 0, 8, c.stop_bits), 0) << c.baud;
    std::int32_t baud = 0;
    std::uint8_t parity = 9, bits = 0, stops = 0;
    d.GetLineParams(baud, parity, bits, stops);
    EXPECT_EQ(baud, TQorBaseDispatcher::BitsPerSecond(c.baud));
    EXPECT_EQ(stops, c.stop_bits) << c.baud;
  }
}

TEST(PosixDispatcher, FlowControlTermiosCannotDoIsRefusedAndCtsFlowIsKept) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  EXPECT_EQ(d.SetHWFlow(3000, 1000, hwfRequireDSR), -3002);
  EXPECT_EQ(d.SetHWFlow(3000, 1000, hwfUseDTR), -3002);
  ASSERT_EQ(d.SetHWFlow(3000, 1000, hwfRequireCTS), 0);
  ASSERT_EQ(d.SetLineParams(57600, 0, 8, 1), 0);  // reads the device back
  std::uint32_t hw = 0, sw = 0;
  std::uint8_t xon = 0, xoff = 0;
  d.GetFlowOptions(hw, sw, xon, xoff);
  EXPECT_EQ(hw, hwfRequireCTS);
}

TEST(PosixDispatcher, XoffFromThePeerHoldsOutputUntilXon) {
  PtyPair pty;
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, pty.Path()), 0);
  AvailReader reader(d);
  ASSERT_EQ(d.EnableSWFlow(3000, 1000, kSwFlowTransmit), 0);
  ASSERT_EQ(d.SetFlowChars('+', '-'), 0);
  pty.Write("-x");  // XOFF, then a byte that shows it has been taken
  ASSERT_TRUE(WaitUntil([&] { return reader.Received() == "x"; }));
  ASSERT_EQ(WriteText(d, "held"), 0);
  EXPECT_EQ(pty.Read(4, 200), "");
  pty.Write("+");
  EXPECT_EQ(pty.Read(4), "held");
  EXPECT_EQ(reader.Received(), "x");  // flow characters are not data
}

TEST(ModemLines, ChangesBecomeTheirEvents) {
  const struct {
    std::uint8_t before, now;
    std::uint32_t events;
  } cases[] = {
      {0x00, 0x10, kEvCts},
      {0x30, 0x10, kEvDsr},
      {0x00, 0x80, kEvRlsd},
      {0x00, 0x40, 0},        // ring starts
      {0x40, 0x00, kEvRing},  // ring ends: the trailing edge
      {0x90, 0x60, kEvCts | kEvDsr | kEvRlsd},
      {0xF0, 0xF0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(device::ModemChangeEvents(c.before, c.now), c.events)
        << std::hex << int{c.before} << " -> " << int{c.now};
  }
}

}  // namespace
}  // namespace qor::testing
