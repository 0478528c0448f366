#pragma once
// The receiving steps that Xmodem and Ymodem's header share: finding where
// a block starts, collecting it, and judging and answering it.
#include <cstdint>

#include "protocols/xymodem/xymodem_data.hpp"

namespace qor {

enum class TBlockStart {
  Waiting,    // nothing decisive yet (an EOT answered with NAK, noise, a CAN)
  Block,      // SOH or STX: BlockLength is set, collecting may begin
  EndOfFile,  // the second EOT, acknowledged: status 4714
  Cancelled,  // the third CAN in a row: cancel sequence sent, status 4713
};

// Asks with NAK from now on: the sender may know only checksums.
void AskForChecksums(TProtocolData& data, TXYmodemData& xy);
// Sends the reply character again and waits HandshakeWait for an answer.
void AskAgain(TProtocolData& data, TXYmodemData& xy);

// Reads what waits until a block starts or the sender ends.
TBlockStart ScanBlockStart(TProtocolData& data, TXYmodemData& xy);

// Collects the block that started; true once all of it is in.
bool CollectBlock(TProtocolData& data, TXYmodemData& xy);
// The bytes the block that started still lacks.
std::int32_t BlockBytesLeft(const TProtocolData& data, const TXYmodemData& xy);

// Judges the collected block against BlockNumber and sends the answer (none
// when the transfer is being cancelled, no ACK while streaming). Status 4700
// for the expected block, which the caller stores before Accept; 4711 for a
// duplicate; 4709 for a damaged block; a sequence error reports -6009.
void JudgeCollected(TProtocolData& data, TXYmodemData& xy);
// The expected block is stored: counters move on and the sender hears ACK.
void AcceptCollected(TProtocolData& data, TXYmodemData& xy);

}  // namespace qor
