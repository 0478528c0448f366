#pragma once

namespace qor::app {

// Starts the windowed program: the wizard window until it is closed. Returns
// the program's exit code.
int RunWizard(int argc, char** argv);

}  // namespace qor::app
