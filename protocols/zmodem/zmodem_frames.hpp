#pragma once
// Zmodem on the wire: frame types, the escaping of bytes, hexadecimal and
// binary headers and data subpackets, built into byte buffers.
#include <array>
#include <cstdint>
#include <vector>

namespace qor {

enum TZFrameType : std::uint8_t {
  ZRQINIT = 0,
  ZRINIT = 1,
  ZSINIT = 2,
  ZACK = 3,
  ZFILE = 4,
  ZSKIP = 5,
  ZNAK = 6,
  ZABORT = 7,
  ZFIN = 8,
  ZRPOS = 9,
  ZDATA = 10,
  ZEOF = 11,
  ZFERR = 12,
  ZCRC = 13,
  ZCHALLENGE = 14,
  ZCOMPL = 15,
  ZCAN = 16,
  ZFREECNT = 17,
  ZCOMMAND = 18,
};

inline constexpr std::uint8_t ZPAD = '*';
inline constexpr std::uint8_t ZDLE = 24;  // also CAN
inline constexpr std::uint8_t kXon = 17;
inline constexpr std::uint8_t kXoff = 19;

// Ends of a data subpacket.
inline constexpr std::uint8_t ZCRCE = 'h';  // frame ends, no answer
inline constexpr std::uint8_t ZCRCG = 'i';  // frame goes on, no answer
inline constexpr std::uint8_t ZCRCQ = 'j';  // frame goes on, ZACK wanted
inline constexpr std::uint8_t ZCRCW = 'k';  // frame ends, ZACK wanted
inline constexpr std::uint8_t ZRUB0 = 'l';  // escaped 0x7F
inline constexpr std::uint8_t ZRUB1 = 'm';  // escaped 0xFF

using TZHeaderBytes = std::array<std::uint8_t, 4>;

// A 32-bit position as header bytes P0..P3 (low byte first), and back.
TZHeaderBytes PositionBytes(std::int32_t position);
std::int32_t BytesPosition(const TZHeaderBytes& bytes);

// How a byte goes on the line: ZDLE, XON, XOFF, DLE (and with the high bit)
// always escaped; CR (either) after "@"; other control characters when
// everything is escaped; the rest as it is.
enum class TZEscapeClass : std::uint8_t { Never, Always, AfterAt, Control };

constexpr std::array<TZEscapeClass, 256> MakeZEscapeClasses() {
  std::array<TZEscapeClass, 256> classes{};
  for (std::size_t b = 0; b < 256; ++b) {
    if ((b & 0x60) == 0) classes[b] = TZEscapeClass::Control;
  }
  for (std::size_t b : {0x10, 0x11, 0x13, 0x18, 0x90, 0x91, 0x93}) {
    classes[b] = TZEscapeClass::Always;
  }
  classes[0x0D] = classes[0x8D] = TZEscapeClass::AfterAt;
  return classes;
}

inline constexpr std::array<TZEscapeClass, 256> kZEscapeClasses = MakeZEscapeClasses();

// Bytes that never need escaping: without and with everything escaped.
constexpr std::array<bool, 256> MakeZAsIs(bool escape_all) {
  std::array<bool, 256> as_is{};
  for (std::size_t b = 0; b < 256; ++b) {
    as_is[b] = kZEscapeClasses[b] == TZEscapeClass::Never ||
               (kZEscapeClasses[b] == TZEscapeClass::Control && !escape_all);
  }
  return as_is;
}
inline constexpr std::array<bool, 256> kZAsIs = MakeZAsIs(false);
inline constexpr std::array<bool, 256> kZAsIsEscapingAll = MakeZAsIs(true);

// Escapes bytes for the line; remembers the last byte written for the rule
// that a CR after "@" is escaped (a modem's command escape).
class TZEscaper {
 public:
  explicit TZEscaper(bool escape_all = false)
      : escape_all_(escape_all), as_is_(escape_all ? &kZAsIsEscapingAll : &kZAsIs) {}
  // Writes b, escaped when needed, at out; returns the end of what it wrote.
  std::uint8_t* Put(std::uint8_t b, std::uint8_t* out) {
    if (NeedsEscape(b)) {
      *out++ = ZDLE;
      b ^= 0x40;
    }
    *out++ = b;
    last_ = b;
    return out;
  }
  void Put(std::uint8_t b, std::vector<std::uint8_t>& out);
  // Put for each of n bytes. A byte that goes as it is in this mode costs a
  // lookup and a store; the last byte written is read back from out only
  // where the "@" rule needs it.
  std::uint8_t* PutRun(const std::uint8_t* bytes, std::size_t n, std::uint8_t* out) {
    const std::array<bool, 256>& as_is = *as_is_;
    std::uint8_t* const start = out;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t b = bytes[i];
      if (as_is[b]) {
        *out++ = b;
        continue;
      }
      if (out != start) last_ = out[-1];
      out = Put(b, out);
    }
    if (out != start) last_ = out[-1];
    return out;
  }
  // The last byte written counts as a raw one (a ZDLE marker sequence).
  void Wrote(std::uint8_t b) { last_ = b; }

 private:
  bool NeedsEscape(std::uint8_t b) const {
    switch (kZEscapeClasses[b]) {
      case TZEscapeClass::Always: return true;
      case TZEscapeClass::AfterAt: return (last_ & 0x7F) == '@' || escape_all_;
      case TZEscapeClass::Control: return escape_all_;
      case TZEscapeClass::Never: break;
    }
    return false;
  }

  bool escape_all_;
  const std::array<bool, 256>* as_is_;
  std::uint8_t last_ = 0;
};

// "**" ZDLE "B", type and bytes in hex, CRC-16 in hex, CR, 0x8A, and XON
// except after ZFIN and ZACK. Appends to out.
void BuildHexHeader(std::uint8_t type, const TZHeaderBytes& bytes, std::vector<std::uint8_t>& out);
// "*" ZDLE "A" (CRC-16) or "C" (CRC-32), then type, bytes and CRC, escaped.
void BuildBinaryHeader(std::uint8_t type, const TZHeaderBytes& bytes, bool crc32,
                       TZEscaper& escaper, std::vector<std::uint8_t>& out);
// The data escaped, ZDLE and end marker, the CRC over data and marker,
// escaped; XON after ZCRCW. Writes at out (room for 2 * len + 16 bytes) and
// returns the end.
std::uint8_t* BuildSubpacket(const std::uint8_t* data, std::int32_t len, std::uint8_t end,
                             bool crc32, TZEscaper& escaper, std::uint8_t* out);
// The largest that BuildSubpacket writes for len bytes.
constexpr std::int32_t SubpacketRoom(std::int32_t len) { return 2 * len + 16; }

}  // namespace qor
