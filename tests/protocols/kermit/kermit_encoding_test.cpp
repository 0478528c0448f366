// Prefix encoding of file data and its decoding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/kermit/kermit_decode.hpp"
#include "protocols/kermit/kermit_encode.hpp"
#include "protocols/kermit/kermit_packet.hpp"
#include "tests/protocols/kermit/kermit_record.hpp"
#include "tests/protocols/kermit/temp_dir.hpp"

namespace qor::testing {
namespace {

using namespace std::string_literals;

struct Prefixing {
  bool hibit = false;
  bool repeat = false;
};

void Configure(TKermitData& kd, Prefixing p) {
  kd.HibitQuoting = p.hibit;
  kd.RepeatCompression = p.repeat;
  kd.LocalParams.HibitPrefix = '&';
  kd.Negotiated = true;
}

struct ByteCase {
  Prefixing prefixing;
  std::uint8_t byte;
  std::int32_t run;
  std::string code;
};

constexpr Prefixing kPlain{};
constexpr Prefixing kRepeat{false, true};
constexpr Prefixing kHibit{true, false};
constexpr Prefixing kBoth{true, true};

const ByteCase kByteCases[] = {
        // Control characters, DEL and the control prefix itself.
        ByteCase{kPlain, 'A', 1, "A"}, ByteCase{kPlain, 0x00, 1, "#@"},
        ByteCase{kPlain, 0x0D, 1, "#M"}, ByteCase{kPlain, 0x1F, 1, "#_"},
        ByteCase{kPlain, 0x7F, 1, "#?"}, ByteCase{kPlain, '#', 1, "##"},
        // The repeat prefix is only special while compression is on.
        ByteCase{kPlain, '~', 1, "~"}, ByteCase{kRepeat, '~', 1, "#~"},
        ByteCase{kRepeat, 0xFE, 1, "#\xFE"},
        // Without 8-bit prefixing high bytes go out as they are.
        ByteCase{kPlain, 0x8D, 1, "\x8D"}, ByteCase{kPlain, 0xFF, 1, "\xFF"},
        ByteCase{kPlain, 0xA3, 1, "#\xA3"}, ByteCase{kPlain, '&', 1, "&"},
        // With 8-bit prefixing "&".
        ByteCase{kHibit, 0x8D, 1, "&#M"}, ByteCase{kHibit, 0xC1, 1, "&A"},
        ByteCase{kHibit, 0xFF, 1, "&#?"}, ByteCase{kHibit, '&', 1, "#&"},
        ByteCase{kHibit, 0xA6, 1, "&#&"}, ByteCase{kHibit, 0xA3, 1, "&##"},
        // Runs.
        ByteCase{kRepeat, 'a', 6, "~&a"}, ByteCase{kRepeat, 0x00, 5, "~%#@"},
        ByteCase{kBoth, 0xA6, 94, "~~&#&"}, ByteCase{kBoth, 0x8D, 10, "~*&#M"}};

TEST(KermitEncodeByte, Table) {
  for (const ByteCase& c : kByteCases) {
    SCOPED_TRACE(::testing::Message() << "byte " << static_cast<int>(c.byte) << " run " << c.run
                                      << " hibit " << c.prefixing.hibit << " repeat "
                                      << c.prefixing.repeat);
    KermitRecord r;
    Configure(r.kd(), c.prefixing);
    std::uint8_t out[kMaxEncodedByte];
    const std::int32_t n = EncodeByte(r.kd(), c.byte, c.run, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(n)), c.code);
  }
}

// Encodes a whole file as the transmitter would, one data field at a time.
std::vector<std::string> EncodeFile(KermitRecord& r, const std::string& path) {
  TProtocolData& data = r.data();
  SetPathName(data, path);
  data.PrepareReadingProc(data);
  EXPECT_EQ(data.ProtocolError, 0);
  r.kd().WorkCount = 0;
  r.kd().WorkPos = 1;
  r.kd().LastReadBlock = false;
  std::vector<std::string> fields;
  for (;;) {
    data.ProtocolStatus = psOK;
    EncodeDataField(data);
    if (data.ProtocolStatus == psEndFile) break;
    EXPECT_GT(r.kd().TxDataLen, 0);
    fields.push_back(r.Field());
    if (fields.size() > 100000) break;
  }
  data.FinishReadingProc(data);
  return fields;
}

std::string Decode(const TKermitData& kd, const std::vector<std::string>& fields) {
  std::string out;
  for (const std::string& f : fields) {
    std::int32_t pos = 0;
    std::uint8_t b = 0;
    std::int32_t count = 0;
    const auto* p = reinterpret_cast<const std::uint8_t*>(f.data());
    while (DecodeNext(kd, p, static_cast<std::int32_t>(f.size()), pos, b, count)) {
      out.append(static_cast<std::size_t>(count), static_cast<char>(b));
    }
    EXPECT_EQ(pos, static_cast<std::int32_t>(f.size()));
  }
  return out;
}

TEST(KermitEncodeData, RunsLongerThanFourAreCompressed) {
  TempDir dir;
  for (const auto& [text, field] :
       std::vector<std::pair<std::string, std::string>>{{"aaaaaa", "~&a"},
                                                        {"aaaaa", "~%a"},
                                                        {"aaaa", "aaaa"}}) {
    KermitRecord r;
    Configure(r.kd(), kRepeat);
    EXPECT_EQ(EncodeFile(r, dir.Write("f", text)), std::vector<std::string>{field});
  }
}

TEST(KermitEncodeData, EmptyFileHasNoDataField) {
  TempDir dir;
  KermitRecord r;
  EXPECT_TRUE(EncodeFile(r, dir.Write("empty", "")).empty());
}

TEST(KermitEncodeData, CountsTheBytesEachFieldConsumed) {
  TempDir dir;
  KermitRecord r;
  TProtocolData& data = r.data();
  SetPathName(data, dir.Write("f", std::string(200, 'x')));
  data.PrepareReadingProc(data);
  ASSERT_EQ(data.RemainingCount, 200);
  EncodeDataField(data);
  // MaxLen 80: a field of 74 characters is the first whose index reaches 75.
  EXPECT_EQ(r.kd().TxDataLen, 74);
  EXPECT_EQ(data.TransferredCount, 74);
  EXPECT_EQ(data.RemainingCount, 126);
  data.FinishReadingProc(data);
}

struct Shape {
  Prefixing prefixing;
  std::uint8_t check;
  std::int32_t max_len;       // normal packets
  std::int32_t max_long_len;  // 0: no long packets
};

// Every field decodes back to the file, fits the negotiated maximum whatever
// the prefixes add, and carries no raw control character; the file spans
// several 1024-byte reads and 8192-byte buffers.
void RoundTrip(const Shape& s) {
  TempDir dir;
  const std::string content = RandomBytes(20000, 7) + std::string(3000, '\0') + "#~&" +
                              std::string(1, '\xA6');
  KermitRecord r;
  Configure(r.kd(), s.prefixing);
  r.kd().LocalParams.CheckType = s.check;
  r.kd().LocalParams.MaxLen = static_cast<std::uint8_t>(s.max_len);
  r.kd().LocalParams.MaxLongLen = s.max_long_len;
  r.kd().LongPacketsInUse = s.max_long_len != 0;
  const auto fields = EncodeFile(r, dir.Write("f", content));
  ASSERT_GT(fields.size(), 5u);
  ASSERT_EQ(Decode(r.kd(), fields), content);
  for (const std::string& f : fields) {
    const auto l = static_cast<std::int32_t>(f.size()) + CheckLength(s.check) + 2;
    if (s.max_long_len == 0) {
      EXPECT_LE(l, s.max_len);
    } else {
      EXPECT_LE(l - 2, s.max_long_len);
    }
    for (const char c : f) {
      const auto b = static_cast<std::uint8_t>(c);
      EXPECT_FALSE(b < 32 || b == 127) << static_cast<int>(b);
    }
  }
}

TEST(KermitEncodeData, RoundTripWithinTheMaximum) {
  for (const Shape& s : {Shape{kPlain, '1', 80, 0}, Shape{kPlain, '3', 94, 0},
                         Shape{kBoth, '1', 80, 0}, Shape{kBoth, '3', 94, 0},
                         Shape{kBoth, '2', 10, 0}, Shape{kHibit, '3', 40, 0},
                         Shape{kRepeat, '2', 94, 1024}, Shape{kBoth, '3', 94, 1024},
                         Shape{kBoth, '3', 94, 96}, Shape{kPlain, '1', 80, 500}}) {
    SCOPED_TRACE(::testing::Message() << "check " << s.check << " max " << s.max_len << " long "
                                      << s.max_long_len << " hibit " << s.prefixing.hibit
                                      << " repeat " << s.prefixing.repeat);
    RoundTrip(s);
  }
}

TEST(KermitEncodeText, NameIsPrefixedButNeverCompressed) {
  KermitRecord r;
  Configure(r.kd(), kRepeat);
  EncodeText(r.data(), "A#B~~~~~~\x01");
  EXPECT_EQ(r.Field(), "A##B#~#~#~#~#~#~#A");
}

TEST(KermitEncodeText, StopsWhereThePacketIsFull) {
  KermitRecord r;
  Configure(r.kd(), kPlain);
  EncodeText(r.data(), std::string(200, '\x01'));
  // MaxLen 80, check 1: 77 characters at most, in whole prefixed pairs.
  EXPECT_EQ(r.kd().TxDataLen, 76);
}

struct DecodeCase {
  Prefixing prefixing;
  std::string field;
  std::string bytes;
};

TEST(KermitDecode, Table) {
  for (const DecodeCase& c : {DecodeCase{kPlain, "#M#@##", "\r\0#"s},
                      DecodeCase{kPlain, "#\xA3\x8D", "\xA3\x8D"},
                      DecodeCase{kPlain, "#~", "~"},
                      DecodeCase{kHibit, "&#M&A#&&#&", "\x8D\xC1&\xA6"},
                      DecodeCase{kBoth, "~*&#M#~", std::string(10, '\x8D') + "~"},
                      DecodeCase{kRepeat, "~&a~", "aaaaaa"},  // a count with nothing after it
                      DecodeCase{kPlain, "ab#", "ab"}}) {
    SCOPED_TRACE(c.field);
    KermitRecord r;
    Configure(r.kd(), c.prefixing);
    EXPECT_EQ(Decode(r.kd(), {c.field}), c.bytes);
  }
}

TEST(KermitDecodeFileName, DecodesPrefixesAndRunsInPlace) {
  KermitRecord r;
  Configure(r.kd(), kRepeat);
  r.SetReceived("A##B~%x#M");
  DecodeFileName(r.data());
  EXPECT_EQ(r.kd().RxDataLen, 9);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data().DataBlock), 10), "A#Bxxxxx\r"s + '\0');
}

TEST(KermitDecodeFileName, TildeIsPlainWithoutCompression) {
  KermitRecord r;
  Configure(r.kd(), kPlain);
  r.SetReceived("~%x");
  DecodeFileName(r.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data().DataBlock),
                        static_cast<std::size_t>(r.kd().RxDataLen)),
            "~%x");
}

TEST(KermitDecodeFileName, RunsStopAtTheBuffer) {
  KermitRecord r;
  Configure(r.kd(), kRepeat);
  std::string field;
  for (int i = 0; i < 20; ++i) field += "~~x";  // 20 runs of 94
  r.SetReceived(field);
  DecodeFileName(r.data());
  EXPECT_EQ(r.kd().RxDataLen, kKermitDataSize);
}

}  // namespace
}  // namespace qor::testing
