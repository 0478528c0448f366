// The port table over a made-up machine: sysfs, /dev, by-id links, environment.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include <stdlib.h>

#include "comm/device/port_table.hpp"

namespace qor::testing {
namespace {

namespace fs = std::filesystem;

class FakeMachine {
 public:
  FakeMachine() {
    char dir[] = "/tmp/ports-XXXXXX";
    root_ = mkdtemp(dir);
    fs::create_directories(root_ / "sys");
    fs::create_directories(root_ / "dev" / "serial" / "by-id");
  }
  ~FakeMachine() { fs::remove_all(root_); }
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;

  // A tty as the kernel lists it; uart_type is the "type" attribute of ttyS.
  void AddTty(const std::string& name, bool has_device = true,
              std::optional<int> uart_type = std::nullopt) {
    fs::create_directories(root_ / "sys" / name);
    if (has_device) fs::create_directories(root_ / "sys" / name / "device");
    if (uart_type) std::ofstream(root_ / "sys" / name / "type") << *uart_type << "\n";
    std::ofstream(root_ / "dev" / name).put('\0');
  }
  void RemoveTty(const std::string& name) {
    fs::remove_all(root_ / "sys" / name);
    fs::remove(root_ / "dev" / name);
  }
  void LinkById(const std::string& by_id, const std::string& tty) {
    fs::remove(root_ / "dev" / "serial" / "by-id" / by_id);
    fs::create_symlink("../../" + tty, root_ / "dev" / "serial" / "by-id" / by_id);
  }

  std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }
  std::string ById(const std::string& name) const {
    return (root_ / "dev" / "serial" / "by-id" / name).string();
  }
  TPortSources Sources(std::vector<std::string> environment = {}) const {
    return {root_ / "sys", root_ / "dev", root_ / "dev" / "serial" / "by-id",
            std::move(environment)};
  }

 private:
  fs::path root_;
};

std::optional<std::int32_t> NumberOf(const std::vector<TSerialPort>& ports,
                                     const std::string& path) {
  for (const TSerialPort& p : ports) {
    if (p.Path == path) return p.Number;
  }
  return std::nullopt;
}

constexpr char kFtdi[] = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

TEST(PortTable, ListsUartsByTheirIndexAndAdaptersByName) {
  FakeMachine m;
  m.AddTty("ttyS0", true, 4);   // a 16550A
  m.AddTty("ttyS1", true, 0);   // a slot without a UART
  m.AddTty("ttyS2", true);      // no type attribute, and its node is no tty
  m.AddTty("tty1", false);      // a virtual console
  m.AddTty("ttyUSB0");
  m.LinkById(kFtdi, "ttyUSB0");
  m.AddTty("ttyACM0");

  const auto ports = ListSerialPorts(m.Sources());
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports.front(), (TSerialPort{1, m.Dev("ttyS0")}));
  const auto usb = NumberOf(ports, m.ById(kFtdi));
  const auto acm = NumberOf(ports, m.Dev("ttyACM0"));
  ASSERT_TRUE(usb && acm);
  EXPECT_GE(*usb, 10);
  EXPECT_LE(*usb, 50);
  EXPECT_GE(*acm, 10);
  EXPECT_LE(*acm, 50);
}

TEST(PortTable, AnAdapterKeepsItsNumberWhenRenumberedOrAlone) {
  FakeMachine m;
  m.AddTty("ttyUSB0");
  m.LinkById(kFtdi, "ttyUSB0");
  m.AddTty("ttyUSB1");
  m.LinkById("usb-Prolific_PL2303-if00-port0", "ttyUSB1");
  const auto number = NumberOf(ListSerialPorts(m.Sources()), m.ById(kFtdi));
  ASSERT_TRUE(number);

  // Unplugged and back as ttyUSB3, with the other adapter gone.
  m.RemoveTty("ttyUSB0");
  m.RemoveTty("ttyUSB1");
  m.AddTty("ttyUSB3");
  m.LinkById(kFtdi, "ttyUSB3");
  EXPECT_EQ(NumberOf(ListSerialPorts(m.Sources()), m.ById(kFtdi)), number);
}

TEST(PortTable, EnvironmentEntriesComeFirst) {
  FakeMachine m;
  m.AddTty("ttyS0", true, 4);
  m.AddTty("ttyACM0");
  const auto ports = ListSerialPorts(m.Sources({
      "COM1=/dev/pts/9",
      "COM5=" + m.Dev("ttyACM0"),
      "COM0=/dev/pts/1", "COM07=/dev/pts/1", "COM300=/dev/pts/1", "COMX=/dev/pts/1",
      "COM2=", "PATH=/bin",
  }));
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0], (TSerialPort{1, "/dev/pts/9"}));
  EXPECT_EQ(ports[1], (TSerialPort{5, m.Dev("ttyACM0")}));  // listed once, as asked
  EXPECT_EQ(ports[2].Path, m.Dev("ttyS0"));                // its own number was taken
  EXPECT_GE(ports[2].Number, 10);
}

TEST(PortTable, APortResolvesByAnyOfItsSpellings) {
  FakeMachine m;
  m.AddTty("ttyACM0");
  m.AddTty("ttyS0", true, 4);  // COM1 by its own rule
  const auto sources = m.Sources({"COM5=/dev/pts/7", "COM1=/dev/pts/8"});
  const struct {
    const char* port;
    std::string path;
  } cases[] = {
      {"COM5", "/dev/pts/7"}, {"com5", "/dev/pts/7"}, {"\\\\.\\COM5", "/dev/pts/7"},
      {"5", "/dev/pts/7"},    {"COM6", ""},           {"COM", ""},
      {"COM5x", ""},          {"", ""},               {"/dev/pts/7", ""},
      {"COM1", "/dev/pts/8"},  // the environment wins over the UART
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveSerialPort(c.port, sources), c.path) << c.port;
}

}  // namespace
}  // namespace qor::testing
