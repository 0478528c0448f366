#pragma once
// One run of qorxfer: opens the port, transfers, closes it.
#include "tools/qorxfer/transfer_options.hpp"

namespace qor::xfer {

// Exit statuses.
inline constexpr int kSucceeded = 0;
inline constexpr int kTransferFailed = 1;
inline constexpr int kNotStarted = 2;

// Runs the transfer in this thread, reporting on standard error; an interrupt
// (SIGINT, SIGTERM) cancels it.
int RunTransfer(const TransferOptions& options);

}  // namespace qor::xfer
