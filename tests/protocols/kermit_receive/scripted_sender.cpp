#include "tests/protocols/kermit_receive/scripted_sender.hpp"

#include <cerrno>
#include <stdexcept>

#include <poll.h>
#include <unistd.h>

#include "tests/protocols/kermit_receive/endpoint.hpp"

namespace qor::testing {

void ScriptedSender::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      throw std::runtime_error("the line is gone");
    } else {
      // The receiver reads only while this thread answers its component.
      PumpUntil([] { return false; }, 1);
    }
  }
}

std::optional<WirePacket> ScriptedSender::Next(int ms) {
  WirePacket packet;
  const bool got = PumpUntil(
      [&] {
        if (reader_.Next(packet)) return true;
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) reader_.Add(buffer, static_cast<std::size_t>(n));
        return reader_.Next(packet);
      },
      ms);
  if (!got) return std::nullopt;
  return packet;
}

WirePacket ScriptedSender::Exchange(const std::string& frame, int ms) {
  Send(frame);
  return Next(ms).value_or(WirePacket{});
}

std::vector<WirePacket> ScriptedSender::Collect(int ms) {
  std::vector<WirePacket> packets;
  while (auto p = Next(ms)) packets.push_back(*p);
  return packets;
}

std::string Brief(const WirePacket& p) {
  return p.type == 0 ? "none" : std::string(1, p.type) + std::to_string(p.seq);
}

std::string Brief(const std::vector<WirePacket>& packets) {
  std::string text;
  for (const WirePacket& p : packets) text += (text.empty() ? "" : " ") + Brief(p);
  return text;
}

}  // namespace qor::testing
