// Our Zmodem sender and receiver against lrzsz's rz and sz over pseudo-
// terminals joined by a relay that always reads (lrzsz flushes its last bytes
// away when it exits); every file is compared byte for byte.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "protocols/zmodem/zmodem.hpp"
#include "tests/protocols/kermit/peer_process.hpp"
#include "tests/protocols/kermit/pty_relay.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"
#include "tests/protocols/zmodem/zmodem_endpoint.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kPort = 244;
constexpr int kTransferMs = 30000;

struct File {
  std::string name;
  std::string bytes;
};

// One transfer between our endpoint and an lrzsz peer: "theirs" is the peer's
// directory, "ours" our endpoint's.
struct Session {
  // bytes_per_second 0: the ptys run as fast as they go.
  explicit Session(std::int64_t bytes_per_second = 0)
      : ours(dir.Path() / "ours"),
        theirs(dir.Path() / "theirs"),
        relay(bytes_per_second),
        end(relay.OurLine(), kPort) {
    fs::create_directories(ours);
    fs::create_directories(theirs);
    MakeZmodem(end);
    end.Protocol().SetDestinationDirectory(ours.string());
    end.Protocol().OnProtocolNextFile = [this](TQorCustomProtocol&, std::string& name) {
      name = next < to_send.size() ? (ours / to_send[next++]).string() : std::string();
    };
  }

  // Writes the files; with a date (seconds since 1970) they get it.
  static void Put(const fs::path& where, const std::vector<File>& files, std::int64_t date = 0) {
    for (const File& f : files) {
      std::ofstream(where / f.name, std::ios::binary) << f.bytes;
      const timespec times[2] = {{date, 0}, {date, 0}};
      if (date != 0) ::utimensat(AT_FDCWD, (where / f.name).c_str(), times, 0);
    }
  }

  // Our receiver takes files from sz.
  void ReceiveFrom(const std::vector<File>& files, const std::vector<std::string>& sz_options = {}) {
    Put(theirs, files, source_date);
    std::vector<std::string> names;
    for (const File& f : files) names.push_back(f.name);
    end.Protocol().StartReceive();
    peer = std::make_unique<PeerProcess>(SzCommand(names, sz_options), theirs.string(),
                                         relay.PeerLine());
  }

  // Our sender gives files to rz.
  void SendTo(const std::vector<File>& files, const std::vector<std::string>& rz_options = {"-y"}) {
    Put(ours, files);
    for (const File& f : files) to_send.push_back(f.name);
    peer = std::make_unique<PeerProcess>(RzCommand(rz_options), theirs.string(), relay.PeerLine());
    WaitUntil([this] { return relay.PeerOpened(); }, 5000);
    end.Protocol().StartTransmit();
  }

  // Both ends finished well.
  void ExpectSuccess() {
    ASSERT_TRUE(end.WaitFinished(kTransferMs));
    EXPECT_EQ(end.finish_code, 0);
    EXPECT_TRUE(end.errors.empty()) << end.errors.front();
    EXPECT_TRUE(end.WaitOutputSent(3000));
    EXPECT_EQ(peer->Wait(10000), 0) << TempDir::Read(theirs / "peer.log");
  }

  static void ExpectSame(const fs::path& where, const std::vector<File>& files) {
    for (const File& f : files) {
      const fs::path p = where / f.name;
      const std::string got = fs::exists(p) ? TempDir::Read(p) : "<missing>";
      EXPECT_TRUE(got == f.bytes) << f.name << ": " << got.size() << " bytes of " << f.bytes.size();
    }
  }

  TempDir dir;
  fs::path ours;
  fs::path theirs;
  PtyRelay relay;
  Endpoint end;
  std::unique_ptr<PeerProcess> peer;
  std::vector<std::string> to_send;
  std::size_t next = 0;
  std::int64_t source_date = 0;  // of the files sz sends; 0: now
};

// Empty, one byte, one short subpacket, exactly one block, a few blocks and
// a file of many blocks, all full of bytes that need escaping.
std::vector<File> Batch(std::size_t large = 300000) {
  return {{"empty.bin", ""},
          {"one.bin", NastyBytes(1, 1)},
          {"short.bin", NastyBytes(700, 2)},
          {"block.bin", NastyBytes(1024, 3)},
          {"some.bin", NastyBytes(4097, 4)},
          {"large.bin", NastyBytes(large, 5)}};
}

TEST(ZmodemInterop, ReceivesBatchFromSz) {
  Session s;
  s.source_date = 1000000000;
  const auto files = Batch();
  s.ReceiveFrom(files);
  s.ExpectSuccess();
  Session::ExpectSame(s.ours, files);
  EXPECT_EQ(Zmodem(s.end.Protocol().Data()).StdBlockLen, 1024);
  // A received file takes the sender's date.
  struct stat st {};
  ASSERT_EQ(::stat((s.ours / "large.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, s.source_date);
}

TEST(ZmodemInterop, SendsBatchToRz) {
  Session s;
  const auto files = Batch();
  s.SendTo(files);
  s.ExpectSuccess();
  Session::ExpectSame(s.theirs, files);
  EXPECT_EQ(s.end.Protocol().BlockCheckMethod(), bcmCrc32);
}

// Every control character escaped: asked for by the peer (sz -e with a
// ZSINIT, rz -e in its ZRINIT), and by us.
TEST(ZmodemInterop, EscapesAllControlCharactersBothWays) {
  const std::vector<File> files = {{"ctl.bin", NastyBytes(50000, 6)}};
  {
    Session s;
    s.ReceiveFrom(files, {"-e"});
    s.ExpectSuccess();
    Session::ExpectSame(s.ours, files);
    EXPECT_TRUE(Zmodem(s.end.Protocol().Data()).EscapeAll);
  }
  {
    Session s;
    s.SendTo(files, {"-y", "-e"});
    s.ExpectSuccess();
    Session::ExpectSame(s.theirs, files);
    EXPECT_TRUE(Zmodem(s.end.Protocol().Data()).EscapeAll);
  }
}

TEST(ZmodemInterop, EightKBlocksBothWays) {
  const std::vector<File> files = {{"big.bin", NastyBytes(200000, 7)}};
  {
    Session s;
    s.end.Protocol().SetZmodem8K(true);
    s.ReceiveFrom(files, {"-8"});
    s.ExpectSuccess();
    Session::ExpectSame(s.ours, files);
  }
  {
    Session s;
    s.end.Protocol().SetZmodem8K(true);
    s.SendTo(files);
    s.ExpectSuccess();
    Session::ExpectSame(s.theirs, files);
    EXPECT_EQ(s.end.Protocol().Data().BlockLength, 8192);
  }
}

// sz -r continues a partial file here when its start is the same; a changed
// start makes the whole file come again.
TEST(ZmodemInterop, ResumesFromSzOnlyWhenTheStartMatches) {
  const File whole{"resume.bin", NastyBytes(100000, 8)};
  for (const bool same_start : {true, false}) {
    SCOPED_TRACE(same_start ? "same start" : "changed start");
    Session s;
    std::string partial = whole.bytes.substr(0, 40000);
    if (!same_start) partial[100] = static_cast<char>(partial[100] ^ 1);
    Session::Put(s.ours, {{whole.name, partial}});
    s.ReceiveFrom({whole}, {"-r"});
    s.ExpectSuccess();
    Session::ExpectSame(s.ours, {whole});
    EXPECT_EQ(s.end.Protocol().InitialPosition(), same_start ? 40000 : 0);
  }
}

// rz -r continues a partial file there from our sender, where rz asks (it
// goes back to a multiple of 1024, and asks for no CRC).
TEST(ZmodemInterop, RzResumesOurSend) {
  const File whole{"resume.bin", NastyBytes(100000, 9)};
  Session s;
  Session::Put(s.theirs, {{whole.name, whole.bytes.substr(0, 40000)}});
  s.end.Protocol().SetZmodemRecover(true);
  s.SendTo({whole}, {"-r"});
  s.ExpectSuccess();
  Session::ExpectSame(s.theirs, {whole});
  EXPECT_GT(s.end.Protocol().InitialPosition(), 30000);
  EXPECT_LT(s.relay.SentByUs(), 80000);
}

// A file that exists is not overwritten when the sender names no option
// (we protect it) or asks to protect it (rz without -y honours that); the
// rest of the batch goes through.
TEST(ZmodemInterop, SkipsAnExistingFileAndGoesOn) {
  const std::vector<File> files = {{"kept.bin", NastyBytes(3000, 10)}, {"new.bin", NastyBytes(3000, 11)}};
  const File old{"kept.bin", "the file that was here"};
  {
    Session s;
    Session::Put(s.ours, {old});
    s.ReceiveFrom(files);
    s.ExpectSuccess();
    Session::ExpectSame(s.ours, {old, files[1]});
    EXPECT_NE(std::find(s.end.logs.begin(), s.end.logs.end(), lfReceiveSkip), s.end.logs.end());
  }
  {
    Session s;
    Session::Put(s.theirs, {old});
    s.end.Protocol().SetZmodemFileOption(zfoWriteProtect);
    s.SendTo(files, {});
    s.ExpectSuccess();
    Session::ExpectSame(s.theirs, {old, files[1]});
    EXPECT_NE(std::find(s.end.logs.begin(), s.end.logs.end(), lfTransmitSkip), s.end.logs.end());
  }
}

// A peer that disappears in the middle leaves an error, not a hang.
TEST(ZmodemInterop, PeerThatVanishesEndsWithAnError) {
  const std::vector<File> files = {{"cut.bin", NastyBytes(150000, 12)}};
  for (const bool receiving : {true, false}) {
    SCOPED_TRACE(receiving ? "receiving" : "sending");
    Session s(200000);  // slow enough to be cut in the middle
    // Fewer and shorter waits: a sender streams the rest of the file into the
    // line (which a cut relay takes slowly) and then asks for the end-of-file
    // answer up to 20 times.
    s.end.Protocol().SetHandshakeRetry(3);
    s.end.Protocol().SetFinishWait(4);
    s.end.Protocol().SetHandshakeWait(18);
    if (receiving) {
      s.ReceiveFrom(files);
    } else {
      s.SendTo(files);
    }
    ASSERT_TRUE(PumpUntil([&] { return s.end.Protocol().BytesTransferred() > 100000; }, 20000));
    ASSERT_FALSE(s.end.finished);
    s.relay.Cut();
    s.peer->Kill();
    ASSERT_TRUE(s.end.WaitFinished(kTransferMs));
    EXPECT_NE(s.end.finish_code, 0);
  }
}

}  // namespace
}  // namespace qor::testing
