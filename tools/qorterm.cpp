// qorterm: a minimal terminal on a serial port through TQorComPort. What arrives
// is printed as it comes (OnTriggerAvail); what is typed is sent. Ends at the
// end of standard input or after --seconds; the trace and dispatch log files
// are written when the port closes.
#include <CLI/CLI.hpp>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "comm/comport/com_port.hpp"
#include "comm/device/port_table.hpp"
#include "comm/platform/message_queue.hpp"

int main(int argc, char** argv) {
  CLI::App app{"qorterm - a terminal on a serial port"};
  std::string port_name;
  int baud = 115200;
  std::string trace_file, log_file;
  double seconds = 0;
  bool list = false;
  app.add_flag("--list", list, "List the serial ports the port table knows and exit");
  app.add_option("port", port_name, "COMn, a number, or a device path mapped with COMn=path");
  app.add_option("--baud", baud, "Baud rate")->capture_default_str();
  app.add_option("--trace", trace_file, "Write a trace of every byte to this file at exit");
  app.add_option("--log", log_file, "Write the dispatch log to this file at exit");
  app.add_option("--seconds", seconds, "Stop after this many seconds (0: at end of input)");
  CLI11_PARSE(app, argc, argv);

  if (list) {
    for (const qor::TSerialPort& p : qor::ListSerialPorts()) {
      std::printf("COM%d  %s\n", p.Number, p.Path.c_str());
    }
    return 0;
  }
  const std::int32_t number = qor::PortNumberOf(port_name);
  if (number == 0) {
    std::cerr << "qorterm: '" << port_name << "' is not a port (use COMn or a number; --list)\n";
    return 2;
  }

  qor::platform::SetMainThread();
  qor::TQorComPort port;
  port.SetComNumber(static_cast<std::uint16_t>(number));
  port.SetBaud(baud);
  if (!trace_file.empty()) {
    port.SetTraceName(trace_file);
    port.SetTracing(qor::tlOn);
  }
  if (!log_file.empty()) {
    port.SetLogName(log_file);
    port.SetLogging(qor::tlOn);
  }
  port.SetOnTriggerAvail([](qor::TQorCustomComPort& cp, std::uint16_t count) {
    for (int i = 0; i < count; ++i) std::putchar(cp.ReadChar());
    std::fflush(stdout);
  });
  try {
    port.SetOpen(true);
  } catch (const std::exception& e) {
    std::cerr << "qorterm: cannot open COM" << number << ": " << e.what() << '\n';
    return 1;
  }

  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  bool input_open = true;
  int status = 0;
  while (seconds <= 0 ? input_open : std::chrono::steady_clock::now() < end) {
    pollfd fds[2] = {{qor::platform::NotifyFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int timeout_ms = seconds > 0 ? 50 : -1;
    if (::poll(fds, input_open ? 2 : 1, timeout_ms) < 0) break;
    while (qor::platform::ProcessOneMessage() == qor::platform::PumpResult::Processed) {
    }
    if (input_open && (fds[1].revents & (POLLIN | POLLHUP)) != 0) {
      char buffer[256];
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) {
        input_open = false;
        continue;
      }
      try {
        port.SendBlock(buffer, static_cast<std::uint16_t>(n));
      } catch (const std::exception& e) {
        std::cerr << "qorterm: " << e.what() << '\n';
        status = 1;
        break;
      }
    }
  }
  try {
    port.SetOpen(false);
  } catch (const std::exception& e) {
    std::cerr << "qorterm: " << e.what() << '\n';
    status = 1;
  }
  return status;
}
