#include "comm/device/port_table.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern char** environ;

namespace qor {

namespace fs = std::filesystem;

namespace {

// Adapters get a number from their name in this range, so that the port
// dialog (COM1 to COM50) shows them and UARTs keep the low numbers.
constexpr std::int32_t kFirstHashed = 10;
constexpr std::int32_t kLastHashed = 50;

struct Device {
  std::string key;     // the by-id name, else the kernel name
  std::string path;
  std::int32_t uart = 0;  // ttyS<k>: k + 1
};

// A decimal number without leading zeros, up to three digits.
std::optional<std::int32_t> ParseDigits(std::string_view digits) {
  if (digits.empty() || digits.size() > 3 || (digits.front() == '0' && digits.size() > 1)) {
    return std::nullopt;
  }
  std::int32_t n = 0;
  for (const char c : digits) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// A port number, or 0.
std::int32_t ParseNumber(std::string_view digits) {
  const auto n = ParseDigits(digits);
  return n && *n >= 1 && *n <= kMaxPortNumber ? *n : 0;
}

// FNV-1a: fixed across machines and builds, unlike std::hash.
std::uint32_t NameHash(std::string_view name) {
  std::uint32_t h = 2166136261u;
  for (const char c : name) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

std::string Canonical(const fs::path& path) {
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(path, ec);
  return ec ? path.string() : canonical.string();
}

// The UART type TIOCGSERIAL reports. Serial-core drivers show it in sysfs,
// which needs no open: opening a ttyS raises DTR and RTS.
std::optional<int> UartType(const fs::path& tty_dir, const fs::path& node) {
  std::ifstream attribute(tty_dir / "type");
  int type = 0;
  if (attribute >> type) return type;
  const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  serial_struct serial{};
  const bool ok = ioctl(fd, TIOCGSERIAL, &serial) == 0;
  close(fd);
  if (!ok) return std::nullopt;
  return serial.type;
}

// Kernel name ("ttyUSB0") → the first by-id name that links to it.
std::map<std::string, std::string> ByIdNames(const fs::path& by_id) {
  std::map<std::string, std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(by_id, ec)) {
    std::error_code link_ec;
    const fs::path target = fs::read_symlink(entry.path(), link_ec);
    if (link_ec) continue;
    const std::string name = entry.path().filename().string();
    auto [it, inserted] = names.emplace(target.filename().string(), name);
    if (!inserted && name < it->second) it->second = name;
  }
  return names;
}

std::vector<Device> ScanDevices(const TPortSources& sources) {
  std::vector<std::string> ttys;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sources.SysClassTty, ec)) {
    std::error_code exists_ec;
    if (fs::exists(entry.path() / "device", exists_ec)) {
      ttys.push_back(entry.path().filename().string());
    }
  }
  std::sort(ttys.begin(), ttys.end());
  const auto by_id = ByIdNames(sources.ById);
  std::vector<Device> devices;
  for (const std::string& name : ttys) {
    Device device;
    if (name.starts_with("ttyS")) {
      // Most ttyS slots are registered without hardware behind them.
      const auto type = UartType(sources.SysClassTty / name, sources.Dev / name);
      if (!type || *type == PORT_UNKNOWN) continue;
      const auto k = ParseDigits(std::string_view(name).substr(4));
      if (k && *k < kMaxPortNumber) device.uart = *k + 1;
    }
    if (const auto it = by_id.find(name); it != by_id.end()) {
      device.key = it->second;
      device.path = (sources.ById / it->second).string();
    } else {
      device.key = name;
      device.path = (sources.Dev / name).string();
    }
    devices.push_back(std::move(device));
  }
  return devices;
}

std::optional<std::int32_t> FreeHashedNumber(const std::map<std::int32_t, std::string>& taken,
                                             std::string_view key) {
  constexpr std::int32_t kSpan = kLastHashed - kFirstHashed + 1;
  const auto start = static_cast<std::int32_t>(NameHash(key) % kSpan);
  for (std::int32_t i = 0; i < kSpan; ++i) {
    const std::int32_t n = kFirstHashed + (start + i) % kSpan;
    if (!taken.contains(n)) return n;
  }
  for (std::int32_t n = kLastHashed + 1; n <= kMaxPortNumber; ++n) {
    if (!taken.contains(n)) return n;
  }
  return std::nullopt;
}

// The ports set by "COM<n>=<path>" entries; a later entry for a number wins.
std::map<std::int32_t, std::string> EnvironmentPorts(const std::vector<std::string>& environment) {
  std::map<std::int32_t, std::string> ports;
  for (const std::string& entry : environment) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos || !entry.starts_with("COM")) continue;
    const std::int32_t n = ParseNumber(std::string_view(entry).substr(3, equals - 3));
    std::string path = entry.substr(equals + 1);
    if (n == 0 || path.empty()) continue;
    ports[n] = std::move(path);
  }
  return ports;
}

}  // namespace

TPortSources TPortSources::System() {
  TPortSources sources;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::string_view(*entry).starts_with("COM")) sources.Environment.emplace_back(*entry);
  }
  return sources;
}

std::int32_t PortNumberOf(std::string_view name) {
  if (name.starts_with("\\\\.\\")) name.remove_prefix(4);
  if (name.size() >= 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(name[2])) == 'M') {
    name.remove_prefix(3);
  }
  return ParseNumber(name);
}

std::vector<TSerialPort> ListSerialPorts(const TPortSources& sources) {
  std::map<std::int32_t, std::string> taken = EnvironmentPorts(sources.Environment);
  std::set<std::string> overridden;
  for (const auto& [number, path] : taken) overridden.insert(Canonical(path));

  std::vector<Device> devices = ScanDevices(sources);
  std::erase_if(devices, [&](const Device& d) { return overridden.contains(Canonical(d.path)); });
  std::vector<const Device*> hashed;
  for (const Device& d : devices) {
    if (d.uart > 0 && !taken.contains(d.uart)) {
      taken[d.uart] = d.path;
    } else {
      hashed.push_back(&d);
    }
  }
  // In key order, so that two adapters whose names meet on one number always
  // share out the same two numbers.
  std::sort(hashed.begin(), hashed.end(),
            [](const Device* a, const Device* b) { return a->key < b->key; });
  for (const Device* d : hashed) {
    if (const auto n = FreeHashedNumber(taken, d->key)) taken[*n] = d->path;
  }

  std::vector<TSerialPort> ports;
  for (auto& [number, path] : taken) ports.push_back({number, path});
  return ports;
}

std::string ResolveSerialPort(std::string_view port, const TPortSources& sources) {
  const std::int32_t n = PortNumberOf(port);
  if (n == 0) return {};
  // The environment's entry wins over any device, so no scan is needed for it.
  std::map<std::int32_t, std::string> set_by_environment = EnvironmentPorts(sources.Environment);
  if (auto it = set_by_environment.find(n); it != set_by_environment.end()) {
    return std::move(it->second);
  }
  for (TSerialPort& p : ListSerialPorts(sources)) {
    if (p.Number == n) return std::move(p.Path);
  }
  return {};
}

}  // namespace qor
