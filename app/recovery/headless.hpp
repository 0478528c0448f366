#pragma once
#include <string>

namespace qor::app {

struct HeadlessOptions {
  int port = 0;               // COM number
  std::string port_text;      // the port as the user named it
  std::string image;          // the image file
  bool rootfs = false;        // image type: kernel (false) or root file system
  double timeout_seconds = 0; // 0: wait as long as it takes
  std::string trace_file;     // the port's trace, written when the port closes
  std::string log_file;       // the port's dispatch log, likewise
};

// Runs one recovery on the console: 0 when the receiver reported the update
// complete, 1 after an error message, 2 when the time ran out.
int RunHeadlessRecovery(const HeadlessOptions& options);

}  // namespace qor::app
