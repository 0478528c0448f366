#pragma once
// qorxfer's options for ASCII transfers, and applying them to the component.
#include <CLI/CLI.hpp>

#include "protocols/component/protocol_component.hpp"
#include "tools/qorxfer/transfer_options.hpp"

namespace qor::xfer {

void AddAsciiOptions(CLI::App& command, TransferOptions& o);
void ConfigureAscii(TQorProtocol& p, const TransferOptions& o);

}  // namespace qor::xfer
