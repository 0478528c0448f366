// The character work of the ASCII engine without a line: delay rounding, the
// delay budget of a sending step, translations and Ctrl-Z both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/ascii/ascii.hpp"
#include "protocols/ascii/ascii_text.hpp"
#include "protocols/core/protocol_core.hpp"

namespace qor {
namespace {

TEST(AsciiDelay, TicksAreRoundedUp) {
  const std::pair<std::uint32_t, std::int32_t> cases[] = {
      {0, 0}, {1, 1}, {54, 1}, {55, 1}, {56, 2}, {110, 2}, {111, 3}, {250, 5}, {1000, 19}};
  for (const auto& [ms, ticks] : cases) EXPECT_EQ(DelayTicks(ms), ticks) << ms;
}

// A record with the ASCII part and a block loaded, sending into a string and
// recording the waits instead of waiting.
class SendStepTest : public ::testing::Test {
 protected:
  SendStepTest() {
    InitProtocolData(data, nullptr, 0);
    AsciiInit(*data);
  }
  ~SendStepTest() override { DoneProtocolData(data); }

  TAsciiData& Ascii() { return data->EngineAs<TAsciiData>(); }
  void Load(const std::string& block) {
    Ascii().BlockCount = static_cast<std::int32_t>(block.size());
    Ascii().SendIndex = 0;
    std::copy(block.begin(), block.end(), Ascii().Buffer.begin());
  }
  // One step; the bytes it sent.
  std::string Step(TSendStepEnd& end) {
    std::string sent;
    const TAsciiLine line{
        [&sent](const std::uint8_t* b, std::size_t n) { sent.append(reinterpret_cast<const char*>(b), n); },
        [this](std::uint32_t ms) { waits.push_back(ms); }};
    end = SendBlockStep(*data, Ascii(), line, delay_ticks);
    return sent;
  }

  std::unique_ptr<TProtocolData> data;
  std::vector<std::uint32_t> waits;
  std::int32_t delay_ticks = -1;
};

TEST_F(SendStepTest, ACharacterDelayOf10MsSendsAtMost25CharactersPerStep) {
  ASSERT_EQ(SetAsciiDelays(*data, 10, 0), 0);
  Load(std::string(60, 'x'));
  TSendStepEnd end{};
  EXPECT_EQ(Step(end).size(), 25u);
  EXPECT_EQ(end, TSendStepEnd::Delay);
  EXPECT_EQ(delay_ticks, 1);
  EXPECT_EQ(waits, std::vector<std::uint32_t>(24, 10));  // the 25th waits on the timer
  // The next step goes on at the send index.
  waits.clear();
  EXPECT_EQ(Step(end).size(), 25u);
  EXPECT_EQ(Step(end).size(), 10u);
  EXPECT_EQ(end, TSendStepEnd::BlockDone);
  EXPECT_EQ(data->TransferredCount, 60);
}

TEST_F(SendStepTest, LineDelaysFollowTheEndOfLineCharacter) {
  ASSERT_EQ(SetAsciiDelays(*data, 0, 100), 0);
  Load("a\rb\rc\rd\re\rf");
  TSendStepEnd end{};
  EXPECT_EQ(Step(end), "a\rb\rc\r");  // 100 and 100 in place, then 200 + 100 reaches the budget
  EXPECT_EQ(end, TSendStepEnd::Delay);
  EXPECT_EQ(delay_ticks, 2);
  EXPECT_EQ(waits, (std::vector<std::uint32_t>{100, 100}));
  ASSERT_EQ(SetAsciiEOLChar(*data, '\n'), 0);
  EXPECT_EQ(Step(end), "d\re\rf");  // CR is no longer the line end
  EXPECT_EQ(end, TSendStepEnd::BlockDone);
}

TEST_F(SendStepTest, ADelayBeyondTheBudgetGoesToTheTimerAtOnce) {
  ASSERT_EQ(SetAsciiDelays(*data, 300, 0), 0);
  Load("ab");
  TSendStepEnd end{};
  EXPECT_EQ(Step(end), "a");
  EXPECT_EQ(delay_ticks, 6);
  EXPECT_TRUE(waits.empty());
}

TEST_F(SendStepTest, TranslationsOnTheWire) {
  struct Case {
    TAsciiEOLTranslation cr, lf;
    const char* wire;
  };
  const Case cases[] = {
      {aetNone, aetNone, "a\r\nb\nc\r"},
      {aetNone, aetAddCRBefore, "a\r\r\nb\r\nc\r"},
      {aetNone, aetStrip, "a\rbc\r"},
      {aetAddLFAfter, aetNone, "a\r\n\nb\nc\r\n"},
      {aetStrip, aetNone, "a\nb\nc"},
      {aetStrip, aetAddCRBefore, "a\r\nb\r\nc"},
      {aetAddCRBefore, aetAddLFAfter, "a\r\nb\nc\r"},  // each applies to its own character only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.cr) + "/" + std::to_string(c.lf));
    ASSERT_EQ(SetAsciiEOLTranslation(*data, c.cr, c.lf), 0);
    data->TransferredCount = 0;
    Load("a\r\nb\nc\r");
    TSendStepEnd end{};
    const std::string wire = Step(end);
    EXPECT_EQ(wire, c.wire);
    EXPECT_EQ(data->TransferredCount, static_cast<std::int32_t>(wire.size()));
  }
}

TEST_F(SendStepTest, CtrlZEndsTheFileOnlyWhenSuppressed) {
  Load("ab\x1A" "cd");
  TSendStepEnd end{};
  EXPECT_EQ(Step(end), std::string("ab\x1A" "cd"));
  EXPECT_FALSE(Ascii().EndOfFile);
  data->Options |= kOptAsciiSuppressCtrlZ;
  Load("ab\x1A" "cd");
  EXPECT_EQ(Step(end), "ab");
  EXPECT_EQ(end, TSendStepEnd::BlockDone);
  EXPECT_TRUE(Ascii().EndOfFile);
}

TEST_F(SendStepTest, CollectingTranslatesAndEndsAtCtrlZ) {
  ASSERT_EQ(SetAsciiEOLTranslation(*data, aetStrip, aetAddCRBefore), 0);
  TAsciiData& ad = Ascii();
  std::vector<TCollected> results;
  for (const char c : std::string("a\r\nb\x1A")) {
    results.push_back(CollectChar(*data, ad, static_cast<std::uint8_t>(c)));
  }
  EXPECT_EQ(std::string(ad.Buffer.begin(), ad.Buffer.begin() + ad.Collected), "a\r\nb\x1A");
  EXPECT_EQ(results.back(), TCollected::EndOfFile);
  EXPECT_TRUE(ad.EndOfFile);
  // Suppressed: the Ctrl-Z still ends the file but is not stored.
  data->Options |= kOptAsciiSuppressCtrlZ;
  ad.Collected = 0;
  EXPECT_EQ(CollectChar(*data, ad, 'x'), TCollected::More);
  EXPECT_EQ(CollectChar(*data, ad, kCtrlZ), TCollected::EndOfFile);
  EXPECT_EQ(ad.Collected, 1);
}

TEST_F(SendStepTest, ABlockIsFullAtTheBlockLengthEvenWhenALineEndGrows) {
  ASSERT_EQ(SetAsciiEOLTranslation(*data, aetNone, aetAddCRBefore), 0);
  TAsciiData& ad = Ascii();
  for (int i = 0; i < 58; ++i) ASSERT_EQ(CollectChar(*data, ad, 'x'), TCollected::More);
  EXPECT_EQ(CollectChar(*data, ad, '\n'), TCollected::BlockFull);
  EXPECT_EQ(ad.Collected, 60);
  // A block length beyond the buffer is held to what it can take.
  data->BlockLength = 5000;
  ad.Collected = 0;
  int n = 0;
  while (CollectChar(*data, ad, '\n') == TCollected::More) ++n;
  EXPECT_LE(ad.Collected, kAsciiBufferSize);
}

TEST(AsciiOptions, RefusedForAnotherEngine) {
  std::unique_ptr<TProtocolData> data;
  InitProtocolData(data, nullptr, 0);
  EXPECT_EQ(SetAsciiDelays(*data, 1, 1), -6015);
  EXPECT_EQ(SetAsciiEOLChar(*data, 10), -6015);
  EXPECT_EQ(SetAsciiEOLTranslation(*data, aetStrip, aetStrip), -6015);
  EXPECT_EQ(SetAsciiEOFTimeout(*data, 1), -6015);
  ASSERT_EQ(AsciiInit(*data), 0);
  EXPECT_EQ(data->BlockLength, 60);
  EXPECT_EQ(data->BlockCheckMethod, bcmNone);
  const TAsciiData& ad = data->EngineAs<TAsciiData>();
  EXPECT_EQ(ad.EOLChar, 13);
  EXPECT_EQ(ad.EOFTimeout, 364);
  EXPECT_EQ(ad.CRTranslation, aetNone);
  EXPECT_EQ(SetAsciiDelays(*data, 56, 55), 0);
  EXPECT_EQ(ad.CharDelayTicks, 2);
  EXPECT_EQ(ad.LineDelayTicks, 1);
  AsciiDone(*data);
  EXPECT_EQ(data->Engine, nullptr);
  DoneProtocolData(data);
}

}  // namespace
}  // namespace qor
