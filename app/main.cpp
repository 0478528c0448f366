#include <CLI/CLI.hpp>

#include "app/wizard/run_wizard.hpp"

int main(int argc, char** argv) {
  CLI::App app{"StellixUp - serial firmware recovery for the Stellix M9 receiver"};
  app.set_version_flag("--version", "StellixUp " STELLIXUP_VERSION);
  // Options of other ways to run (the console recovery) are added here and
  // chosen after parsing; without them the wizard window starts.
  CLI11_PARSE(app, argc, argv);
  return qor::app::RunWizard(argc, argv);
}
