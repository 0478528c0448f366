#include "tests/protocols/kermit_receive/sender_frames.hpp"

namespace qor::testing {

namespace {

char ToChar(int x) { return static_cast<char>(x + 32); }

unsigned Crc16Kermit(std::string_view s) {
  unsigned crc = 0;
  for (const char ch : s) {
    unsigned b = static_cast<unsigned char>(ch);
    for (int i = 0; i < 8; ++i, b >>= 1) {
      crc = ((b ^ crc) & 1) != 0 ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
  }
  return crc;
}

std::string CheckOf(int check, std::string_view covered) {
  unsigned sum = 0;
  for (const char ch : covered) sum += static_cast<unsigned char>(ch);
  if (check == 1) return {ToChar(static_cast<int>((sum + ((sum >> 6) & 3)) & 63))};
  if (check == 2) {
    return {ToChar(static_cast<int>((sum >> 6) & 63)), ToChar(static_cast<int>(sum & 63))};
  }
  const unsigned k = Crc16Kermit(covered);
  return {ToChar(static_cast<int>((k >> 12) & 15)), ToChar(static_cast<int>((k >> 6) & 63)),
          ToChar(static_cast<int>(k & 63))};
}

}  // namespace

std::string Frame(char type, int seq, std::string_view field, int check) {
  const int len = static_cast<int>(field.size()) + check + 2;
  std::string body;
  if (len <= 94) {
    body = {ToChar(len), ToChar(seq & 63), type};
  } else {
    body = {ToChar(0), ToChar(seq & 63), type, ToChar((len - 2) / 95), ToChar((len - 2) % 95)};
    unsigned s = 0;
    for (const char ch : body) s += static_cast<unsigned char>(ch);
    s &= 0xFF;
    body += ToChar(static_cast<int>((s + (s >> 6)) & 63));
  }
  body += field;
  return "\x01" + body + CheckOf(check, body) + "\r";
}

std::string SendInitField(const SenderParams& p) {
  const int caps = (p.long_len != 0 ? 0x02 : 0) | (p.windows != 0 ? 0x04 : 0);
  return {ToChar(p.max_len), ToChar(5),  ToChar(0),      '@',
          ToChar(13),        '#',        p.hibit,        p.check,
          p.repeat,          ToChar(caps), ToChar(p.windows), ToChar(p.long_len / 95),
          ToChar(p.long_len % 95)};
}

}  // namespace qor::testing
