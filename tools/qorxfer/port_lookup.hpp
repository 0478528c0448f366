#pragma once
// The port qorxfer opens: a COM number of the port table, or a device path.
#include <cstdint>
#include <string>

namespace qor::xfer {

// The COM number for port: its own number when it names one ("COM7", "7"),
// the table's number of a device path, or a free number that the process
// environment then maps to the path (the port table's COMn=path rule).
std::int32_t PortNumberFor(const std::string& port);

}  // namespace qor::xfer
