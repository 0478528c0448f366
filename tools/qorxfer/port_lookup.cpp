#include "tools/qorxfer/port_lookup.hpp"

#include <cstdlib>
#include <filesystem>
#include <set>

#include "comm/device/port_table.hpp"

namespace qor::xfer {

namespace {

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const auto canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : canonical.string();
}

}  // namespace

std::int32_t PortNumberFor(const std::string& port) {
  if (const std::int32_t number = PortNumberOf(port); number != 0) return number;
  std::set<std::int32_t> taken;
  const std::string wanted = Canonical(port);
  // Only a tty with a device behind it in sysfs is in the port table; for
  // anything else (a pseudo-terminal) the scan of every tty would find
  // nothing, and the number below is ours alone anyway: the environment's
  // entry wins over any device.
  const TPortSources sources = TPortSources::System();
  std::error_code ec;
  const bool may_be_listed = std::filesystem::exists(
      sources.SysClassTty / std::filesystem::path(wanted).filename() / "device", ec);
  for (const TSerialPort& p : may_be_listed ? ListSerialPorts(sources) : std::vector<TSerialPort>{}) {
    if (Canonical(p.Path) == wanted) return p.Number;
    taken.insert(p.Number);
  }
  // From the top, where the table's own ports are least likely to be.
  for (std::int32_t number = kMaxPortNumber; number > 0; --number) {
    const std::string name = "COM" + std::to_string(number);
    if (taken.count(number) == 0 && std::getenv(name.c_str()) == nullptr) {
      ::setenv(name.c_str(), port.c_str(), 1);
      return number;
    }
  }
  return 0;
}

}  // namespace qor::xfer
