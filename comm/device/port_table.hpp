#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// The stand-in for the system's list of serial ports and for "\\.\COMn": one
// table that both lists the ports and resolves "COMn" to a device path. The
// rule is documented in README.md ("Serial ports on Linux").

inline constexpr std::int32_t kMaxPortNumber = 255;

struct TSerialPort {
  std::int32_t Number = 0;
  std::string Path;  // what "COM<Number>" opens
  bool operator==(const TSerialPort&) const = default;
};

// Where the table looks; tests point it at a tree of their own.
struct TPortSources {
  std::filesystem::path SysClassTty{"/sys/class/tty"};
  std::filesystem::path Dev{"/dev"};
  std::filesystem::path ById{"/dev/serial/by-id"};
  std::vector<std::string> Environment;  // "NAME=value" entries

  // The machine's, with the process environment as it is now.
  static TPortSources System();
};

// The number in "COM7", "com7", "\\.\COM7" or "7"; 0 when there is none or it
// lies outside 1..kMaxPortNumber.
std::int32_t PortNumberOf(std::string_view name);

// Every port, by number.
std::vector<TSerialPort> ListSerialPorts(const TPortSources& sources = TPortSources::System());

// The device path of a port given as PortNumberOf accepts it; empty when the
// table has no such port.
std::string ResolveSerialPort(std::string_view port,
                              const TPortSources& sources = TPortSources::System());

}  // namespace qor
