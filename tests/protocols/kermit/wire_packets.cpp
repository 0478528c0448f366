#include "tests/protocols/kermit/wire_packets.hpp"

namespace qor::testing {

namespace {

int UnChar(char c) { return static_cast<unsigned char>(c) - 32; }
char ToChar(int x) { return static_cast<char>(x + 32); }

WirePacket Decode(const std::string& frame) {
  WirePacket p;
  p.frame = frame;
  const std::string inner = frame.substr(1, frame.size() - 2);  // MARK .. CR
  if (inner.size() < 3) return p;
  p.seq = UnChar(inner[1]);
  p.type = inner[2];
  if (inner[0] == ' ' && inner.size() >= 6) {
    p.extended = true;
    p.length = UnChar(inner[3]) * 95 + UnChar(inner[4]) + 2;
    p.body = inner.substr(6);
  } else {
    p.length = UnChar(inner[0]);
    p.body = inner.substr(3);
  }
  return p;
}

}  // namespace

bool FrameReader::Next(WirePacket& packet) {
  const std::size_t mark = pending_.find('\x01');
  if (mark == std::string::npos) {
    pending_.clear();
    return false;
  }
  const std::size_t end = pending_.find('\r', mark);
  if (end == std::string::npos) {
    pending_.erase(0, mark);
    return false;
  }
  packet = Decode(pending_.substr(mark, end - mark + 1));
  pending_.erase(0, end + 1);
  return true;
}

std::vector<WirePacket> ParseWire(const std::string& wire) {
  FrameReader reader;
  reader.Add(wire.data(), wire.size());
  std::vector<WirePacket> packets;
  WirePacket p;
  while (reader.Next(p)) packets.push_back(p);
  return packets;
}

std::string Packet1(char type, int seq, const std::string& field) {
  std::string body;
  body += ToChar(static_cast<int>(field.size()) + 3);
  body += ToChar(seq);
  body += type;
  body += field;
  unsigned sum = 0;
  for (const char c : body) sum += static_cast<unsigned char>(c);
  return "\x01" + body + ToChar(static_cast<int>((sum + ((sum >> 6) & 3)) & 63)) + "\r";
}

}  // namespace qor::testing
