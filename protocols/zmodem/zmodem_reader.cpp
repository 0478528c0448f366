#include "protocols/zmodem/zmodem_reader.hpp"

#include <algorithm>
#include <cstring>

#include "protocols/core/protocol_core.hpp"
#include "protocols/zmodem/zmodem_frames.hpp"

namespace qor {

namespace {

constexpr std::int32_t kCansToCancel = 5;
constexpr std::uint32_t kCrc32Residue = 0xDEBB20E3u;

// Header reader states.
enum : std::uint8_t { hHunt, hPad, hDle, hBinary, hHex };
// Data reader states.
enum : std::uint8_t { dData, dCrc };

bool IsFlowControl(std::uint8_t c) { return (c & 0x7F) == kXon || (c & 0x7F) == kXoff; }

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsMarker(std::uint8_t c) { return c >= ZCRCE && c <= ZCRCW; }

}  // namespace

void TZmodemReader::StartHeader() {
  header_state_ = hHunt;
  escape_ = Escape::None;
  count_ = 0;
}

void TZmodemReader::StartData(std::uint8_t* dest, std::int32_t max_len) {
  data_state_ = dData;
  escape_ = Escape::None;
  dest_ = dest;
  max_len_ = max_len;
  DataLen = 0;
  Marker = 0;
  crc_bytes_ = 0;
  crc_ = Format == 'C' ? 0xFFFFFFFFu : 0;
}

bool TZmodemReader::CountCan(std::uint8_t c) {
  cans_ = c == ZDLE ? cans_ + 1 : 0;
  return cans_ >= kCansToCancel;
}

bool TZmodemReader::Unescape(std::uint8_t c, std::uint8_t& out, bool& marker) {
  marker = false;
  if (IsFlowControl(c)) return false;
  if (escape_ == Escape::None) {
    if (c == ZDLE) {
      escape_ = Escape::Pending;
      return false;
    }
    out = c;
    return true;
  }
  if (c == ZDLE) return false;  // a run of CANs: counted by the caller
  escape_ = Escape::None;
  if (IsMarker(c)) {
    marker = true;
    out = c;
  } else if (c == ZRUB0) {
    out = 0x7F;
  } else if (c == ZRUB1) {
    out = 0xFF;
  } else {
    out = c ^ 0x40;
  }
  return true;
}

TZRead TZmodemReader::HeaderDone() {
  header_state_ = hHunt;
  bool good;
  if (Format == 'C') {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < 9; ++i) crc = UpdateCrc32(raw_[i], crc);
    good = crc == kCrc32Residue;
  } else {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < 7; ++i) crc = UpdateCrc16(raw_[i], crc);
    good = crc == 0;
  }
  if (!good) return TZRead::BadCrc;
  Type = raw_[0];
  for (std::size_t i = 0; i < 4; ++i) Bytes[i] = raw_[i + 1];
  return TZRead::Header;
}

TZRead TZmodemReader::FeedHeader(std::uint8_t c) {
  if (CountCan(c)) {
    StartHeader();
    return TZRead::Cancel;
  }
  switch (header_state_) {
    case hHunt:
      if ((c & 0x7F) == ZPAD) header_state_ = hPad;
      return TZRead::More;
    case hPad:
      if ((c & 0x7F) == ZPAD || IsFlowControl(c)) return TZRead::More;
      header_state_ = c == ZDLE ? hDle : hHunt;
      return TZRead::More;
    case hDle: {
      const std::uint8_t f = c & 0x7F;
      if (IsFlowControl(c)) return TZRead::More;
      count_ = 0;
      escape_ = Escape::None;
      if (f == 'A' || f == 'C') {
        Format = f;
        header_state_ = hBinary;
      } else if (f == 'B') {
        Format = f;
        header_state_ = hHex;
      } else {
        header_state_ = (f == ZPAD) ? hPad : hHunt;
      }
      return TZRead::More;
    }
    case hBinary: {
      std::uint8_t b = 0;
      bool marker = false;
      if (!Unescape(c, b, marker)) return TZRead::More;
      if (marker) {
        StartHeader();
        return TZRead::BadCrc;
      }
      raw_[static_cast<std::size_t>(count_++)] = b;
      return count_ == (Format == 'C' ? 9 : 7) ? HeaderDone() : TZRead::More;
    }
    case hHex: {
      if (IsFlowControl(c)) return TZRead::More;
      const int v = HexValue(c & 0x7F);
      if (v < 0) {
        StartHeader();
        return TZRead::BadCrc;
      }
      std::uint8_t& b = raw_[static_cast<std::size_t>(count_ / 2)];
      b = static_cast<std::uint8_t>(count_ % 2 == 0 ? v << 4 : (b | v));
      return ++count_ == 14 ? HeaderDone() : TZRead::More;
    }
    default:
      StartHeader();
      return TZRead::More;
  }
}

TZRead TZmodemReader::FeedData(std::uint8_t c) {
  if (CountCan(c)) return TZRead::Cancel;
  std::uint8_t b = 0;
  bool marker = false;
  if (!Unescape(c, b, marker)) return TZRead::More;
  const bool crc32 = Format == 'C';
  if (data_state_ == dData) {
    if (crc32) {
      crc_ = UpdateCrc32(b, crc_);
    } else {
      crc_ = UpdateCrc16(b, static_cast<std::uint16_t>(crc_));
    }
    if (marker) {
      Marker = b;
      data_state_ = dCrc;
      return TZRead::More;
    }
    if (DataLen >= max_len_) return TZRead::TooLong;
    dest_[DataLen++] = b;
    return TZRead::More;
  }
  if (crc32) {
    crc_ = UpdateCrc32(b, crc_);
  } else {
    crc_ = UpdateCrc16(b, static_cast<std::uint16_t>(crc_));
  }
  if (++crc_bytes_ < (crc32 ? 4 : 2)) return TZRead::More;
  data_state_ = dData;
  const bool good = crc32 ? crc_ == kCrc32Residue : crc_ == 0;
  return good ? TZRead::Data : TZRead::BadCrc;
}

TZRead TZmodemReader::FeedDataRun(const std::uint8_t* bytes, std::size_t n, std::size_t& used) {
  std::size_t i = 0;
  while (i < n) {
    if (data_state_ == dData && escape_ == Escape::None && DataLen < max_len_) {
      const std::size_t limit = std::min(n, i + static_cast<std::size_t>(max_len_ - DataLen));
      std::size_t j = i;
      while (j < limit && bytes[j] != ZDLE && !IsFlowControl(bytes[j])) ++j;
      if (j > i) {
        const std::size_t k = j - i;
        std::memcpy(dest_ + DataLen, bytes + i, k);
        crc_ = Format == 'C' ? UpdateCrc32Run(bytes + i, k, crc_)
                             : UpdateCrc16Run(bytes + i, k, static_cast<std::uint16_t>(crc_));
        DataLen += static_cast<std::int32_t>(k);
        cans_ = 0;
        i = j;
        continue;
      }
    }
    const TZRead got = FeedData(bytes[i++]);
    if (got != TZRead::More) {
      used = i;
      return got;
    }
  }
  used = n;
  return TZRead::More;
}

}  // namespace qor
