// The record's life and its plain setters.
#include <new>

#include "comm/comport/com_port.hpp"
#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

std::int32_t InitProtocolData(std::unique_ptr<TProtocolData>& data, TQorCustomComPort* port,
                              std::uint32_t options) {
  try {
    data = std::make_unique<TProtocolData>();
  } catch (const std::bad_alloc&) {
    return -8;
  }
  TProtocolData& d = *data;
  d.ComPort = port;
  d.UpcaseFileNames = true;
  d.ProtocolType = ptNoProtocol;
  d.HandshakeWait = 182;
  d.HandshakeRetry = 10;
  d.BlockLength = 128;
  d.WriteFailAction = wfWriteRename;
  d.TransmitTimeout = 1092;
  d.StatusInterval = 10;
  d.Options = options;
  d.CharsPerSecond = port != nullptr && port->Open() ? port->Baud() / 10 : 0;
  CopyName(d.SearchMask, "*.*");
  SetDefaultFileProcs(d);
  d.StatusProc = &SendStatusMessage;
  d.LogProc = &SendLogMessage;
  d.NextFileProc = &SendNextFileMessage;
  d.AcceptFileProc = &SendAcceptFileMessage;
  return 0;
}

void DoneProtocolData(std::unique_ptr<TProtocolData>& data) {
  // A record dropped with its file open must not leak the descriptor.
  if (data) CloseWorkFile(*data);
  data.reset();
}

void SetMessageWindow(TProtocolData& data, platform::WindowHandle window) {
  data.MessageWindow = window;
}

void SetComPort(TProtocolData& data, TQorCustomComPort* port) { data.ComPort = port; }

void UpdateCharsPerSecond(TProtocolData& data, std::int32_t baud) {
  std::int32_t bits = 10;
  if (data.ComPort != nullptr && data.ComPort->Open()) {
    bits = data.ComPort->DataBits() + 2 + (data.ComPort->Parity() != pNone ? 1 : 0);
  }
  data.CharsPerSecond = baud / bits;
}

void SetDefaultFileProcs(TProtocolData& data) {
  data.PrepareReadingProc = &PrepareReading;
  data.ReadBlockProc = &ReadFileBlock;
  data.FinishReadingProc = &FinishReading;
  data.PrepareWritingProc = &PrepareWriting;
  data.WriteBlockProc = &WriteFileBlock;
  data.FinishWritingProc = &FinishWriting;
}

}  // namespace qor
