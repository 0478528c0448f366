#pragma once
// Received Zmodem bytes, one at a time: the header reader (hunting for a
// frame, hex or binary, CRC-16 or CRC-32) and the data subpacket reader.
#include <array>
#include <cstdint>

namespace qor {

enum class TZRead : std::uint8_t {
  More,      // nothing complete yet
  Header,    // a header with a good CRC: Type, Bytes, Format
  Data,      // a subpacket with a good CRC: DataLen bytes, Marker
  BadCrc,    // a damaged header or subpacket
  TooLong,   // a subpacket longer than the reader was allowed to take
  Cancel,    // five CANs in a row
};

class TZmodemReader {
 public:
  // Hunt for the next header.
  void StartHeader();
  // Read a subpacket into dest (at most max_len bytes), checked by the CRC
  // of the last header's format.
  void StartData(std::uint8_t* dest, std::int32_t max_len);
  TZRead FeedHeader(std::uint8_t c);
  TZRead FeedData(std::uint8_t c);
  // FeedData for each of n bytes until one gives a result other than More;
  // used tells how many were taken. Plain bytes inside the data go in a
  // stretch at a time, their check over the whole stretch.
  TZRead FeedDataRun(const std::uint8_t* bytes, std::size_t n, std::size_t& used);

  // The last header: format "A", "B" or "C", type and the four bytes.
  std::uint8_t Format = 'B';
  std::uint8_t Type = 0;
  std::array<std::uint8_t, 4> Bytes{};
  // The last subpacket: its length and end marker.
  std::int32_t DataLen = 0;
  std::uint8_t Marker = 0;

 private:
  enum class Escape : std::uint8_t { None, Pending };
  // Drops flow control, undoes ZDLE escapes; false when c gave no byte yet.
  // marker is set when ZDLE introduced an end marker.
  bool Unescape(std::uint8_t c, std::uint8_t& out, bool& marker);
  bool CountCan(std::uint8_t c);
  TZRead HeaderDone();

  std::uint8_t header_state_ = 0;
  std::uint8_t data_state_ = 0;
  Escape escape_ = Escape::None;
  std::int32_t cans_ = 0;
  std::int32_t count_ = 0;  // header bytes or hex digits so far
  std::array<std::uint8_t, 9> raw_{};  // type, four bytes, CRC
  std::uint8_t* dest_ = nullptr;
  std::int32_t max_len_ = 0;
  std::int32_t crc_bytes_ = 0;
  std::uint32_t crc_ = 0;
};

}  // namespace qor
