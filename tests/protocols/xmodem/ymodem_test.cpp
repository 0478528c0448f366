// Our Ymodem receiver and transmitter against a peer the test plays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "protocols/core/protocol_core.hpp"
#include "protocols/xymodem/xymodem_data.hpp"
#include "tests/protocols/xmodem/lrzsz_peer.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr int kPort = 223;

std::string Header(const std::string& text, std::size_t length = 128) {
  return Block(length == 128 ? 1 : 2, 0, text + std::string(length - text.size(), '\0'), true);
}

struct YReceiver {
  YReceiver() {
    fs::create_directories(dest);
    UseProtocol(end, ptYmodem);
    end.Protocol().SetDestinationDirectory(dest.string());
    end.Protocol().StartReceive();
  }
  std::string Say(const std::string& bytes, std::size_t n = 1) {
    line.Write(bytes);
    return ReadPumping(line, n);
  }

  TempDir dir;
  fs::path dest = dir.Path() / "in";
  PtyPair line;
  Endpoint end{line.Path(), kPort};
};

TEST(Receive, AFileIsCutToItsSizeAndDatedAndAnEmptyHeaderEndsTheBatch) {
  YReceiver r;
  EXPECT_EQ(ReadPumping(r.line, 1), "C");
  EXPECT_EQ(r.Say(Header("data.bin\0"
                         "300 13727410000 100644"s),
                  2),
            kAck + "C");
  const std::string content = RandomBytes(300, 1);
  EXPECT_EQ(r.Say(Block(2, 1, content + std::string(724, '\x1a'), true)), kAck);
  EXPECT_EQ(r.Say(kEot), kNak);
  EXPECT_EQ(r.Say(kEot), kAck);
  EXPECT_EQ(ReadPumping(r.line, 1), "C");
  // Only the first 117 bytes decide: what follows them is not looked at.
  std::string end(128, '\0');
  end[125] = 'x';
  EXPECT_EQ(r.Say(Block(1, 0, end, true)), kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, 0);
  const fs::path stored = r.dest / "data.bin";
  EXPECT_TRUE(TempDir::Read(stored) == content);
  struct stat st {};
  ASSERT_EQ(::stat(stored.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000000);  // the machine's local time is UTC
}

TEST(Receive, ANameIsKeptInsideTheDestination) {
  YReceiver r;
  EXPECT_EQ(ReadPumping(r.line, 1), "C");
  EXPECT_EQ(r.Say(Header("../../up.bin\0"
                         "5"s),
                  2),
            kAck + "C");
  EXPECT_EQ(r.Say(Block(1, 1, "hello" + std::string(123, '\x1a'), true)), kAck);
  EXPECT_EQ(r.Say(kEot + kEot, 2), kNak + kAck);
  EXPECT_EQ(ReadPumping(r.line, 1), "C");
  EXPECT_EQ(r.Say(Header("")), kAck);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(TempDir::Read(r.dest / "up.bin"), "hello");
  EXPECT_FALSE(fs::exists(r.dir.Path() / "up.bin"));
}

TEST(Receive, ARefusedNameEndsTheBatchAndLeavesWhatIsThere) {
  YReceiver r;
  r.end.Protocol().SetHonorDirectory(true);
  const fs::path outside = r.dir.Path() / "keep.bin";
  std::ofstream(outside) << "mine";
  EXPECT_EQ(ReadPumping(r.line, 1), "C");
  EXPECT_EQ(r.Say(Header("../keep.bin\0"
                         "5"s),
                  1 + kCancelSequence.size()),
            kAck + kCancelSequence);
  ASSERT_TRUE(r.end.WaitFinished(3000));
  EXPECT_EQ(r.end.finish_code, -6011);
  EXPECT_EQ(TempDir::Read(outside), "mine");
}

TEST(Transmit, AHeaderNamesEachFileAndAnEmptyOneEndsTheBatch) {
  TempDir dir;
  const std::string content = RandomBytes(1500, 2);
  const std::string path = dir.Write("Report.DAT", content);
  struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  PtyPair line;
  Endpoint end(line.Path(), kPort);
  UseProtocol(end, ptYmodem);
  bool offered = false;
  end.Protocol().OnProtocolNextFile = [&](TQorCustomProtocol&, std::string& name) {
    name = offered ? "" : path;
    offered = true;
  };
  end.Protocol().StartTransmit();
  line.Write("C");
  EXPECT_EQ(ReadPumping(line, 133), Header("report.dat\0"
                                           "1500 013727410000"s));
  line.Write(kAck + "C");
  EXPECT_EQ(ReadPumping(line, 1029), Block(2, 1, content.substr(0, 1024), true));
  line.Write(kAck);
  EXPECT_EQ(ReadPumping(line, 1029),
            Block(2, 2, content.substr(1024) + std::string(548, '\x1a'), true));
  line.Write(kAck);
  EXPECT_EQ(ReadPumping(line, 1), kEot);
  line.Write(kAck + "C");
  EXPECT_EQ(ReadPumping(line, 133), Header(""));
  ASSERT_TRUE(end.WaitFinished(3000));
  EXPECT_EQ(end.finish_code, 0);
  EXPECT_EQ(end.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitOk}));
}

TEST(Transmit, ACancelEndsTheBatchWithoutAnEmptyHeader) {
  TempDir dir;
  const std::string path = dir.Write("a.bin", RandomBytes(5000, 3));
  PtyPair line;
  Endpoint end(line.Path(), kPort);
  UseProtocol(end, ptYmodem);
  end.Protocol().OnProtocolNextFile = [&](TQorCustomProtocol&, std::string& name) { name = path; };
  end.Protocol().StartTransmit();
  line.Write("C");
  EXPECT_EQ(ReadPumping(line, 133).size(), 133u);
  line.Write(kAck + "C");
  EXPECT_EQ(ReadPumping(line, 1029).size(), 1029u);
  end.Protocol().CancelTransfer();
  EXPECT_EQ(ReadPumping(line, 100, 500), kCancelSequence);
  ASSERT_TRUE(end.WaitFinished(3000));
  EXPECT_EQ(end.finish_code, -6005);
  EXPECT_EQ(end.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitFail}));
}

}  // namespace
}  // namespace qor::testing
