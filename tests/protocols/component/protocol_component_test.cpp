// The protocol component: properties and their engine cache, attachment,
// starting, cancelling and the reports that reach its events.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "comm/errors/exceptions.hpp"
#include "comm/platform/message_queue.hpp"
#include "protocols/component/protocol_component.hpp"
#include "protocols/zmodem/zmodem.hpp"
#include "tests/dispatcher/memory_dispatcher.hpp"
#include "tests/support/pump_until.hpp"

namespace qor {
namespace {

using testing::TMemoryDispatcher;
using testing::PumpUntil;

class FakeStatus : public TQorAbstractStatus {
 public:
  using TQorAbstractStatus::TQorAbstractStatus;
  void UpdateDisplay(bool first, bool last) override { reports.emplace_back(first, last); }
  std::vector<std::pair<bool, bool>> reports;

 protected:
  void CreateDisplay() override {}
  void DestroyDisplay() override {}
};

class FakeLog : public TQorProtocolLog {
 public:
  using TQorProtocolLog::TQorProtocolLog;
  void WriteLogEntry(std::uint16_t code) override { codes.push_back(code); }
  std::vector<std::uint32_t> codes;
};

TEST(ProtocolComponent, InitialValues) {
  TQorProtocol p;
  EXPECT_EQ(p.ProtocolType(), ptNoProtocol);
  EXPECT_EQ(p.FileMask(), "*.*");
  EXPECT_EQ(p.HandshakeRetry(), 10u);
  EXPECT_EQ(p.HandshakeWait(), 182u);
  EXPECT_EQ(p.TransmitTimeout(), 1092u);
  EXPECT_EQ(p.FinishWait(), 364u);
  EXPECT_EQ(p.WriteFailAction(), wfWriteRename);
  EXPECT_EQ(p.StatusInterval(), 10u);
  EXPECT_TRUE(p.UpcaseFileNames());
  EXPECT_FALSE(p.HonorDirectory());
  EXPECT_EQ(p.KermitMaxLen(), 80u);
  EXPECT_EQ(p.KermitPadCharacter(), 0);
  EXPECT_EQ(p.XYmodemBlockWait(), 91u);
  EXPECT_EQ(p.ZmodemFileOption(), zfoWriteNewer);
  EXPECT_EQ(p.AsciiEOFTimeout(), 364u);
  EXPECT_EQ(p.Version(), "v4.07");
}

TEST(ProtocolComponent, StartWithoutProtocolOrPort) {
  TQorProtocol p;
  int events = 0;
  p.OnProtocolFinish = [&](TQorCustomProtocol&, std::int32_t) { ++events; };
  EXPECT_NO_THROW(p.StartTransmit());  // no protocol: nothing happens
  p.SetProtocolType(ptKermit);
  try {
    p.StartTransmit();
    ADD_FAILURE() << "no exception";
  } catch (const EPortNotAssigned& e) {
    EXPECT_EQ(e.ErrorCode(), -1005);
  }
  while (platform::ProcessOneMessage() == platform::PumpResult::Processed) {
  }
  EXPECT_EQ(events, 0);
}

TEST(ProtocolComponent, KermitOptionsAreCachedAndAdjusted) {
  TQorProtocol p;
  p.SetKermitMaxLen(2000);  // cached while no engine is selected
  EXPECT_EQ(p.KermitMaxLen(), 1024u);
  p.SetProtocolType(ptKermit);
  EXPECT_EQ(p.Data().BlockLength, 1024);  // long packets of the cached length
  p.SetKermitMaxLen(90);
  EXPECT_EQ(p.KermitMaxLen(), 90u);
  EXPECT_EQ(p.Data().Options & kOptKermitLongPackets, 0u);
  p.SetKermitMaxWindows(1);
  EXPECT_EQ(p.KermitMaxWindows(), 0u);
  p.SetKermitMaxWindows(40);
  EXPECT_EQ(p.KermitMaxWindows(), 27u);
  EXPECT_NE(p.Data().Options & kOptKermitSlidingWindows, 0u);
  p.SetBlockCheckMethod(bcmCrc32);  // not a Kermit check
  EXPECT_NE(p.BlockCheckMethod(), bcmCrc32);
  p.SetBlockCheckMethod(bcmCrcK);
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrcK);
  p.SetZmodemFileOption(zfoWriteClobber);
  p.SetZmodemFileOption(zfoWriteCrc);  // ignored altogether
  EXPECT_EQ(p.ZmodemFileOption(), zfoWriteClobber);
}

// Zmodem options set while another engine is selected reach Zmodem when it
// is; its defaults replace the record's own.
TEST(ProtocolComponent, ZmodemTakesItsCachedOptions) {
  TQorProtocol p;
  p.SetProtocolType(ptKermit);
  p.SetZmodem8K(true);
  p.SetZmodemSkipNoFile(true);
  p.SetZmodemFileOption(zfoWriteAppend);
  p.SetProtocolType(ptZmodem);
  EXPECT_EQ(p.Data().BlockLength, 8192);
  EXPECT_EQ(p.Data().HandshakeWait, 1092);
  EXPECT_EQ(p.Data().FinishWait, 364);
  EXPECT_EQ(p.Data().Overhead, 20);
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrc32);
  EXPECT_EQ(ZmodemFileOptionOf(p.Data()), zfoWriteAppend | 0x80);
  EXPECT_EQ(p.ZmodemFileOption(), zfoWriteAppend);  // without the skip bit
  p.SetZmodemSkipNoFile(false);
  EXPECT_EQ(ZmodemFileOptionOf(p.Data()), zfoWriteAppend);
  p.SetBlockCheckMethod(bcmCrc16);
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrc16);
  p.SetBlockCheckMethod(bcmChecksum);  // not a Zmodem check
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrc16);
  EXPECT_EQ(SetZmodemRecover(p.Data(), true), 0);
  p.SetProtocolType(ptKermit);
  EXPECT_EQ(SetZmodemRecover(p.Data(), true), -6015);
}

TEST(ProtocolComponent, SameTypeResetsTheEngineOnlyWhileLoading) {
  TQorProtocol p;
  p.SetProtocolType(ptKermit);
  p.Data().BlockLength = 33;
  p.SetProtocolType(ptKermit);
  EXPECT_EQ(p.Data().BlockLength, 33);
  p.BeginLoading();
  p.SetProtocolType(ptKermit);
  p.EndLoading();
  EXPECT_EQ(p.Data().BlockLength, 80);
}

TEST(ProtocolComponent, FileNamesGoIntoTheDestinationDirectory) {
  TQorProtocol p;
  p.SetDestinationDirectory("/tmp/in");
  p.SetFileName("image.bin");
  EXPECT_EQ(p.FileName(), "/tmp/in/image.bin");
  p.SetFileName("/abs/other.bin");
  EXPECT_EQ(p.FileName(), "/abs/other.bin");
  p.Data().FileOpen = true;  // a transfer is using it
  p.SetFileName("late.bin");
  EXPECT_EQ(p.FileName(), "/abs/other.bin");
  p.Data().FileOpen = false;
  p.SetFileMask(std::string(300, 'm'));
  EXPECT_EQ(p.FileMask().size(), 255u);
}

TEST(ProtocolComponent, AttachesToTheOwnersPortStatusAndLog) {
  TQorBaseComponent form;
  auto* port = new TQorComPort(&form);
  auto* status = new FakeStatus(&form);
  auto* log = new FakeLog(&form);
  auto* protocol = new TQorProtocol(&form);
  EXPECT_EQ(protocol->ComPort(), port);
  EXPECT_EQ(protocol->StatusDisplay(), status);
  EXPECT_EQ(status->Protocol(), protocol);
  EXPECT_EQ(protocol->ProtocolLog(), log);
  delete status;
  EXPECT_EQ(protocol->StatusDisplay(), nullptr);
  delete port;
  EXPECT_EQ(protocol->ComPort(), nullptr);
  // A port added later to the same owner is taken.
  auto* late = new TQorComPort(&form);
  EXPECT_EQ(protocol->ComPort(), late);
}

// A protocol component on an open port over the in-memory device.
class TransferTest : public ::testing::Test {
 protected:
  TransferTest() {
    port.SetCustomDispatcherFactory([this](TQorCustomComPort& cp) {
      auto d = std::make_unique<TMemoryDispatcher>(&cp);
      device = d.get();
      return std::unique_ptr<TQorBaseDispatcher>(std::move(d));
    });
    port.SetComNumber(1);
    port.SetOpen(true);
    protocol.SetComPort(&protocol_port());
    protocol.SetProtocolType(ptKermit);
    // A cancel waits for the reply to the packet on the line, one time-out at most.
    protocol.SetKermitTimeoutSecs(1);
    protocol.SetStatusDisplay(&status);
    file = std::filesystem::temp_directory_path() / "component_upload.bin";
    std::ofstream(file, std::ios::binary) << std::string(5000, 'z');
    protocol.SetFileMask(file.string());
    protocol.OnProtocolFinish = [this](TQorCustomProtocol&, std::int32_t code) {
      finish_codes.push_back(code);
    };
  }
  ~TransferTest() override {
    port.SetOpen(false);
    std::filesystem::remove(file);
  }
  TQorComPort& protocol_port() { return port; }

  TQorComPort port;
  TQorProtocol protocol;
  FakeStatus status;
  TMemoryDispatcher* device = nullptr;
  std::filesystem::path file;
  std::vector<std::int32_t> finish_codes;
};

TEST_F(TransferTest, CancelFinishesWithTheCancelCodeAndReportsFirstAndLast) {
  protocol.StartTransmit();
  EXPECT_TRUE(protocol.InProgress());
  ASSERT_FALSE(status.reports.empty());
  EXPECT_EQ(status.reports.front(), std::make_pair(true, false));
  protocol.CancelTransfer();
  ASSERT_TRUE(PumpUntil([&] { return !finish_codes.empty(); }, 10000));
  EXPECT_EQ(finish_codes, std::vector<std::int32_t>{-6005});
  EXPECT_EQ(status.reports.back(), std::make_pair(false, true));
  EXPECT_FALSE(protocol.InProgress());
}

TEST_F(TransferTest, ClosingThePortDuringATransferCancelsIt) {
  protocol.StartTransmit();
  port.SetOpen(false);
  ASSERT_TRUE(PumpUntil([&] { return !finish_codes.empty(); }, 10000));
  EXPECT_EQ(finish_codes, std::vector<std::int32_t>{-6005});
}

TEST_F(TransferTest, BytesTransferredDiscountsWhatWaitsInTheOutputBuffer) {
  protocol.SetProtocolType(ptNoProtocol);
  TProtocolData& d = protocol.Data();
  d.BlockLength = 128;
  d.Overhead = 20;
  d.TransferredCount = 2000;
  const std::string queued(600, 'q');
  port.SendString(queued);  // not drained: 600 bytes wait
  EXPECT_EQ(protocol.BytesTransferred(), 2000 - (600 - 4 * 20));
  d.TransferredCount = 100;
  EXPECT_EQ(protocol.BytesTransferred(), 0);  // never below 0
  d.FileLength = 5000;
  EXPECT_EQ(protocol.BytesRemaining(), 5000);
}

TEST(ProtocolComponent, EstimatedSecondsFollowsTheLineRate) {
  TQorProtocol p;
  TProtocolData& d = p.Data();
  d.CharsPerSecond = 11520;
  d.BlockLength = 80;
  d.Overhead = 20;
  d.TurnDelay = 0;
  // Efficiency 80 %, 9216 bytes a second.
  EXPECT_EQ(p.EstimatedSeconds(92160), 10);
  EXPECT_EQ(p.EstimatedSeconds(0), 0);
}

}  // namespace
}  // namespace qor
