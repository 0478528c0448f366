// Zmodem frames as built for the line and as the readers take them back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/zmodem/zmodem_frames.hpp"
#include "protocols/zmodem/zmodem_reader.hpp"

namespace qor {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Escaped(const Bytes& in, bool escape_all) {
  TZEscaper e(escape_all);
  Bytes out;
  for (const std::uint8_t b : in) e.Put(b, out);
  return out;
}

// The same through PutRun, in two runs split at `at`: the "@" rule must
// hold across the split.
Bytes EscapedInRuns(const Bytes& in, bool escape_all, std::size_t at) {
  TZEscaper e(escape_all);
  Bytes out(2 * in.size());
  std::uint8_t* end = e.PutRun(in.data(), at, out.data());
  end = e.PutRun(in.data() + at, in.size() - at, end);
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

TEST(ZmodemEscaping, EscapesWhatALineMightEatOrObey) {
  struct Case {
    Bytes in;
    bool escape_all;
    Bytes out;
  };
  const Case cases[] = {
      {{0x18}, false, {ZDLE, 0x58}},
      {{0x10, 0x11, 0x13}, false, {ZDLE, 0x50, ZDLE, 0x51, ZDLE, 0x53}},
      {{0x90, 0x91, 0x93}, false, {ZDLE, 0xD0, ZDLE, 0xD1, ZDLE, 0xD3}},
      {{0x98}, false, {0x98}},  // not escaped: only the three with bit 7 are
      {{0x40, 0x0D}, false, {0x40, ZDLE, 0x4D}},  // "@" CR would wake a modem
      {{0xC0, 0x8D}, false, {0xC0, ZDLE, 0xCD}},
      {{0x41, 0x0D}, false, {0x41, 0x0D}},
      {{0x0D}, false, {0x0D}},
      {{0x00, 0x1F, 0x80, 0x9F}, true, {ZDLE, 0x40, ZDLE, 0x5F, ZDLE, 0xC0, ZDLE, 0xDF}},
      {{0x00, 0x7F, 0xFF, 'A'}, false, {0x00, 0x7F, 0xFF, 'A'}},
      {{0x20, 0x7F, 0xA0}, true, {0x20, 0x7F, 0xA0}},
      {{0x40, 0x18, 0x0D}, false, {0x40, ZDLE, 0x58, 0x0D}},  // "@" must be the last byte
      {{0x40, 0x00, 0x0D}, true, {0x40, ZDLE, 0x40, ZDLE, 0x4D}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Escaped(c.in, c.escape_all), c.out);
    for (std::size_t at = 0; at <= c.in.size(); ++at) {
      EXPECT_EQ(EscapedInRuns(c.in, c.escape_all, at), c.out) << "split at " << at;
    }
  }
}

TEST(ZmodemFrames, HexHeaderOfZerosAsEveryReceiverKnowsIt) {
  Bytes out;
  BuildHexHeader(ZRQINIT, {}, out);
  const std::string expected = std::string("**\x18" "B00000000000000\r\x8a\x11");
  EXPECT_EQ(std::string(out.begin(), out.end()), expected);
  out.clear();
  BuildHexHeader(ZFIN, {}, out);
  EXPECT_EQ(out.back(), 0x8A);  // no XON after ZFIN (nor ZACK)
}

struct HeaderCase {
  bool hex;
  bool crc32;
};

TEST(ZmodemFrames, HeadersComeBackThroughTheReader) {
  const TZHeaderBytes bytes{0x18, 0x11, 0x0D, 0xFF};
  for (const HeaderCase c : {HeaderCase{true, false}, HeaderCase{false, false}, HeaderCase{false, true}}) {
    Bytes wire = {'x', 0x11, '*'};  // noise, flow control, a stray pad
    TZEscaper e;
    if (c.hex) {
      BuildHexHeader(ZRPOS, bytes, wire);
    } else {
      BuildBinaryHeader(ZRPOS, bytes, c.crc32, e, wire);
    }
    wire.insert(wire.begin() + 6, kXoff);  // flow control inside the header
    TZmodemReader r;
    r.StartHeader();
    TZRead last = TZRead::More;
    for (const std::uint8_t b : wire) {
      last = r.FeedHeader(b);
      if (last != TZRead::More) break;
    }
    ASSERT_EQ(last, TZRead::Header) << c.hex << c.crc32;
    EXPECT_EQ(r.Type, ZRPOS);
    EXPECT_EQ(r.Bytes, bytes);
    EXPECT_EQ(r.Format, c.hex ? 'B' : c.crc32 ? 'C' : 'A');
    EXPECT_EQ(BytesPosition(r.Bytes), static_cast<std::int32_t>(0xFF0D1118));
  }
}

TEST(ZmodemFrames, DamagedHeaderIsABadCrc) {
  Bytes wire;
  TZEscaper e;
  BuildBinaryHeader(ZDATA, PositionBytes(4096), true, e, wire);
  wire[5] ^= 0x01;
  TZmodemReader r;
  r.StartHeader();
  TZRead last = TZRead::More;
  for (const std::uint8_t b : wire) {
    if ((last = r.FeedHeader(b)) != TZRead::More) break;
  }
  EXPECT_EQ(last, TZRead::BadCrc);
}

// Reads one subpacket after a header of format; the result and the data.
// Byte by byte, or (chunk > 0) in stretches of chunk bytes as the engine
// reads them; both ways must agree.
TZRead ReadSubpacketIn(const Bytes& wire, std::uint8_t format, Bytes& data, std::int32_t max_len,
                       std::uint8_t& marker, std::size_t chunk) {
  TZmodemReader r;
  r.Format = format;
  data.assign(static_cast<std::size_t>(max_len), 0);
  r.StartData(data.data(), max_len);
  TZRead got = TZRead::More;
  for (std::size_t at = 0; at < wire.size() && got == TZRead::More;) {
    if (chunk == 0) {
      got = r.FeedData(wire[at++]);
    } else {
      std::size_t used = 0;
      got = r.FeedDataRun(wire.data() + at, std::min(chunk, wire.size() - at), used);
      at += used;
    }
  }
  if (got != TZRead::More) {
    data.resize(static_cast<std::size_t>(r.DataLen));
    marker = r.Marker;
  }
  return got;
}

TZRead ReadSubpacket(const Bytes& wire, std::uint8_t format, Bytes& data, std::int32_t max_len,
                     std::uint8_t& marker) {
  const TZRead got = ReadSubpacketIn(wire, format, data, max_len, marker, 0);
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{512}, wire.size()}) {
    Bytes other;
    std::uint8_t other_marker = 0;
    EXPECT_EQ(ReadSubpacketIn(wire, format, other, max_len, other_marker, chunk), got) << chunk;
    if (got != TZRead::More) {
      EXPECT_EQ(other, data) << chunk;
      EXPECT_EQ(other_marker, marker) << chunk;
    }
  }
  return got;
}

TEST(ZmodemFrames, SubpacketsComeBackWithTheirEndMarkers) {
  Bytes payload(1024);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
  for (const bool crc32 : {false, true}) {
    for (const std::uint8_t end : {ZCRCE, ZCRCG, ZCRCQ, ZCRCW}) {
      Bytes wire(static_cast<std::size_t>(SubpacketRoom(1024)));
      TZEscaper e(true);
      const std::uint8_t* stop = BuildSubpacket(payload.data(), 1024, end, crc32, e, wire.data());
      wire.resize(static_cast<std::size_t>(stop - wire.data()));
      EXPECT_EQ(wire.back() == kXon, end == ZCRCW);
      Bytes got;
      std::uint8_t marker = 0;
      EXPECT_EQ(ReadSubpacket(wire, crc32 ? 'C' : 'A', got, 1024, marker), TZRead::Data);
      EXPECT_EQ(marker, end);
      EXPECT_EQ(got, payload);
    }
  }
}

TEST(ZmodemFrames, SubpacketFaultsAreReported) {
  const Bytes payload(100, 'z');
  Bytes wire(static_cast<std::size_t>(SubpacketRoom(100)));
  TZEscaper e;
  wire.resize(static_cast<std::size_t>(
      BuildSubpacket(payload.data(), 100, ZCRCG, true, e, wire.data()) - wire.data()));
  Bytes got;
  std::uint8_t marker = 0;
  EXPECT_EQ(ReadSubpacket(wire, 'C', got, 99, marker), TZRead::TooLong);
  Bytes damaged = wire;
  damaged[10] = 'y';
  EXPECT_EQ(ReadSubpacket(damaged, 'C', got, 100, marker), TZRead::BadCrc);
  // The CRC-16 form does not pass for the CRC-32 one.
  EXPECT_EQ(ReadSubpacket(wire, 'A', got, 100, marker), TZRead::BadCrc);
}

TEST(ZmodemFrames, RubEscapesAreRead) {
  // ZDLE "l" and ZDLE "m": 0x7F and 0xFF as some senders escape them.
  Bytes data = {0x7F, 0xFF};
  Bytes wire(static_cast<std::size_t>(SubpacketRoom(2)));
  TZEscaper e;
  wire.resize(static_cast<std::size_t>(BuildSubpacket(data.data(), 2, ZCRCE, false, e, wire.data()) -
                                       wire.data()));
  ASSERT_EQ(wire[0], 0x7F);
  wire.erase(wire.begin(), wire.begin() + 2);
  wire.insert(wire.begin(), {ZDLE, ZRUB0, ZDLE, ZRUB1});
  Bytes got;
  std::uint8_t marker = 0;
  EXPECT_EQ(ReadSubpacket(wire, 'A', got, 10, marker), TZRead::Data);
  EXPECT_EQ(got, data);
}

TEST(ZmodemFrames, FiveCansInARowCancel) {
  for (const bool header : {true, false}) {
    TZmodemReader r;
    Bytes sink(10);
    r.StartHeader();
    r.StartData(sink.data(), 10);
    auto feed = [&](std::uint8_t b) { return header ? r.FeedHeader(b) : r.FeedData(b); };
    for (int i = 0; i < 4; ++i) EXPECT_EQ(feed(ZDLE), TZRead::More);
    feed('A');
    for (int i = 0; i < 4; ++i) EXPECT_NE(feed(ZDLE), TZRead::Cancel);
    EXPECT_EQ(feed(ZDLE), TZRead::Cancel);
  }
}

}  // namespace
}  // namespace qor
