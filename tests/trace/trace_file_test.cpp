// The trace file: blocks per direction, item forms, line wrapping, dumps.
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/dispatcher/dispatcher_fixture.hpp"
#include "tests/trace/dump_file_fixture.hpp"

namespace qor::testing {
namespace {

class TraceFileTest : public DumpFileTest {
 protected:
  void Open() { ASSERT_EQ(d.OpenPort("mem", 115200, 0, 8, 1, 4096, 64, 0), 0); }

  // Receives bytes through the device and reads them as the program would.
  void Receive(const std::string& bytes) {
    d.Feed(bytes);
    const auto n = static_cast<std::int32_t>(bytes.size());
    ASSERT_TRUE(PumpUntil([&] { return d.InputUsed() == n; }));
    std::uint8_t c = 0;
    for (std::int32_t i = 0; i < n; ++i) ASSERT_EQ(d.ReadInputChar(c), 0);
  }

  void Transmit(const std::string& bytes) {
    ASSERT_EQ(d.WriteBlock(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           static_cast<std::int32_t>(bytes.size())),
              0);
  }

  void Trace(char kind, const std::string& bytes) {
    for (const char c : bytes) d.AddTraceEntry(kind, static_cast<std::uint8_t>(c));
  }
};

TEST_F(TraceFileTest, TransmitThenReceiveGivesTwoBlocksAndNoFinalLineEnd) {
  Open();
  ASSERT_EQ(d.StartTrace(100), 0);
  Transmit("AT\r");
  Receive("OK\r\n");
  ASSERT_EQ(d.WriteTrace(Path("t.trc"), false, true, false), 0);
  EXPECT_EQ(Read("t.trc"), "Transmit: \r\nAT[0D]\r\n\r\nReceive: \r\nOK[0D][0A]");
}

TEST_F(TraceFileTest, AFullTraceShowsTheNewestBytesOldestFirst) {
  Open();
  ASSERT_EQ(d.StartTrace(3), 0);
  Receive("ABCDE");
  ASSERT_EQ(d.WriteTrace(Path("t.trc"), false, false, false), 0);
  EXPECT_EQ(Read("t.trc"), "Receive: \r\nCDE");
}

TEST_F(TraceFileTest, ItemForms) {
  struct Case {
    std::uint8_t byte;
    bool in_hex;
    bool all_hex;
    const char* item;
  };
  const Case cases[] = {
      {0x07, false, false, "[7]"},   {0x07, true, false, "[07]"},  {' ', true, false, "[20]"},
      {' ', false, false, " "},      {'~', true, false, "~"},      {0x1B, false, false, "[27]"},
      {0x7F, false, false, "[127]"}, {0xFF, true, false, "[FF]"},  {'A', false, true, "[41]"},
      {0x0A, true, true, "[0A]"},
  };
  ASSERT_EQ(d.StartTrace(10), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.byte} << " hex " << c.in_hex << " all " << c.all_hex);
    d.AddTraceEntry('R', c.byte);
    ASSERT_EQ(d.WriteTrace(Path("t.trc"), false, c.in_hex, c.all_hex), 0);
    EXPECT_EQ(Read("t.trc"), std::string("Receive: \r\n") + c.item);
  }
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(TraceFileTest, DataLinesEndBeforeAnItemWouldPassColumn78) {
  struct Case {
    std::string bytes;
    bool in_hex;
    std::string text;
  };
  const Case cases[] = {
      {std::string(78, 'x'), false, std::string(78, 'x')},
      {std::string(80, 'x'), false, std::string(78, 'x') + "\r\n" + "xx"},
      {std::string(20, '\0'), true, Repeat("[00]", 19) + "\r\n" + "[00]"},
      {std::string(16, '\xC8'), false, Repeat("[200]", 15) + "\r\n" + "[200]"},
      {std::string(77, 'x') + "\x01", false, std::string(77, 'x') + "\r\n" + "[1]"},
  };
  Open();
  ASSERT_EQ(d.StartTrace(100), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Receive(c.bytes);
    ASSERT_EQ(d.WriteTrace(Path("t.trc"), false, c.in_hex, false), 0);
    EXPECT_EQ(Read("t.trc"), "Receive: \r\n" + c.text);
  }
}

TEST_F(TraceFileTest, EveryChangeOfKindStartsABlockAtColumnZero) {
  ASSERT_EQ(d.StartTrace(200), 0);
  Trace('T', std::string(70, 'a'));
  Trace('R', std::string(10, 'b'));
  Trace('Q', "c");
  Trace('R', "d");
  ASSERT_EQ(d.WriteTrace(Path("t.trc"), false, false, false), 0);
  EXPECT_EQ(Read("t.trc"), "Transmit: \r\n" + std::string(70, 'a') + "\r\n\r\nReceive: \r\n" +
                               std::string(10, 'b') + "\r\n\r\nSpecial-Q: \r\nc\r\n\r\nReceive: \r\nd");
}

TEST_F(TraceFileTest, NothingRecordedWritesNoFile) {
  EXPECT_EQ(d.WriteTrace(Path("none.trc"), false, false, false), 0);  // never started
  ASSERT_EQ(d.StartTrace(10), 0);
  EXPECT_EQ(d.WriteTrace(Path("none.trc"), true, false, false), 0);
  EXPECT_FALSE(Exists("none.trc"));
  EXPECT_TRUE(d.Tracing());
}

TEST_F(TraceFileTest, EachDumpStartsTheTraceAfreshAndAppendsOnALineOfItsOwn) {
  ASSERT_EQ(d.StartTrace(10), 0);
  Trace('T', "AB");
  ASSERT_EQ(d.WriteTrace(Path("t.trc"), true, false, false), 0);  // creates the file
  EXPECT_TRUE(d.Tracing());
  Trace('R', "C");
  ASSERT_EQ(d.WriteTrace(Path("t.trc"), true, false, false), 0);
  EXPECT_EQ(Read("t.trc"), "Transmit: \r\nAB\r\nReceive: \r\nC");

  d.PauseTrace();
  Trace('R', "D");
  ASSERT_EQ(d.WriteTrace(Path("t.trc"), false, false, false), 0);  // replaces it
  EXPECT_EQ(Read("t.trc"), "Receive: \r\nD");
  EXPECT_TRUE(d.Tracing());
}

TEST_F(TraceFileTest, AFileThatCannotBeOpenedStopsTracingAndDropsTheTrace) {
  struct Case {
    std::string path;
    std::int32_t result;
  };
  const Case cases[] = {{Path("missing/t.trc"), -ENOENT}, {Path(""), -EISDIR}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_EQ(d.StartTrace(10), 0);
    Trace('R', "x");
    EXPECT_EQ(d.WriteTrace(c.path, false, false, false), c.result);
    EXPECT_FALSE(d.Tracing());
    d.ResumeTrace();  // no buffer left to resume
    EXPECT_FALSE(d.Tracing());
    EXPECT_EQ(d.WriteTrace(Path("t.trc"), false, false, false), 0);
    EXPECT_FALSE(Exists("t.trc"));
  }
}

TEST_F(TraceFileTest, AFailedWriteIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(d.StartTrace(10), 0);
  Trace('R', "x");
  EXPECT_EQ(d.WriteTrace("/dev/full", false, false, false), -ENOSPC);
}

}  // namespace
}  // namespace qor::testing
