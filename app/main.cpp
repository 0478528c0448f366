#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"StellixUp - serial firmware recovery for the Stellix M9 receiver"};
  app.set_version_flag("--version", "StellixUp " STELLIXUP_VERSION);
  CLI11_PARSE(app, argc, argv);
  std::cout << "StellixUp " STELLIXUP_VERSION << '\n';
  return 0;
}
