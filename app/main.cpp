#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>

#include "app/recovery/headless.hpp"
#include "app/wizard/run_wizard.hpp"
#include "comm/device/port_table.hpp"

namespace {
constexpr int kPathPortNumber = 251;  // the table entry a device path is opened through
}

int main(int argc, char** argv) {
  CLI::App app{"StellixUp - serial firmware recovery for the Stellix M9 receiver"};
  app.set_version_flag("--version", "StellixUp " STELLIXUP_VERSION);
  bool headless = false;
  std::string port, type = "kernel", image, trace, log;
  double timeout = 0;
  app.add_flag("--headless", headless, "Run the recovery on the console instead of the window");
  app.add_option("--port", port, "With --headless: the port, COMn of the port table or a device path");
  app.add_option("--type", type, "With --headless: the image type, kernel or rootfs")
      ->check(CLI::IsMember({"kernel", "rootfs"}))
      ->capture_default_str();
  app.add_option("--image", image, "With --headless: the image file")->check(CLI::ExistingFile);
  app.add_option("--timeout", timeout, "With --headless: give up after this many seconds (0: never)");
  app.add_option("--trace", trace, "With --headless: write the port's byte trace to this file");
  app.add_option("--log", log, "With --headless: write the port's dispatch log to this file");
  CLI11_PARSE(app, argc, argv);
  if (!headless) return qor::app::RunWizard(argc, argv);

  if (port.empty() || image.empty()) {
    std::cerr << "stellixup: --headless needs --port and --image\n";
    return 2;
  }
  int number = qor::PortNumberOf(port);
  if (number == 0) {
    number = kPathPortNumber;
    ::setenv(("COM" + std::to_string(number)).c_str(), port.c_str(), 1);
  }
  qor::app::HeadlessOptions options;
  options.port = number;
  options.port_text = port;
  options.image = image;
  options.rootfs = type == "rootfs";
  options.timeout_seconds = timeout;
  options.trace_file = trace;
  options.log_file = log;
  return qor::app::RunHeadlessRecovery(options);
}
