#pragma once

namespace qor::app {

// Shows the library's exceptions as error message boxes with the
// application's title, in the main thread whichever thread raised them.
void InstallExceptionMessageBox();

}  // namespace qor::app
