// The Tracing and Logging properties: a small state machine over the
// dispatcher's trace and dispatch log.
#include <algorithm>

#include "comm/comport/com_port.hpp"

namespace qor {

namespace {
constexpr std::uint32_t kMaxTraceSize = 4000000;
constexpr std::uint32_t kMaxLogSize = 16000000;
}  // namespace

void TQorCustomComPort::SetTracing(TTraceLogState state) { ApplyTraceLog(false, state); }
void TQorCustomComPort::SetLogging(TTraceLogState state) { ApplyTraceLog(true, state); }

void TQorCustomComPort::ApplyTraceLog(bool log, TTraceLogState value) {
  TTraceLogState& current = log ? logging_ : tracing_;
  if (value == current && !force_apply_) return;
  if (!dispatcher_ || open_state_ != cpsOpen) {
    current = value == tlOn ? tlOn : tlOff;
    return;
  }
  TQorBaseDispatcher& d = *dispatcher_;
  const bool active = current == tlOn || current == tlPause;
  auto write = [&](bool append) {
    if (log) {
      d.ResumeLog();
      Check(d.WriteLog(log_name_, append, log_hex_, log_all_hex_));
    } else {
      d.ResumeTrace();
      Check(d.WriteTrace(trace_name_, append, trace_hex_, trace_all_hex_));
    }
  };
  auto stop = [&] {
    if (log) {
      d.StopLog();
    } else {
      d.StopTrace();
    }
  };
  switch (value) {
    case tlOff:
      if (active) stop();
      current = tlOff;
      break;
    case tlOn:
      if (current == tlPause) {
        if (log) {
          d.ResumeLog();
        } else {
          d.ResumeTrace();
        }
      } else if (log) {
        d.StartLog(static_cast<std::int32_t>(log_size_));
      } else {
        Check(d.StartTrace(static_cast<std::int32_t>(trace_size_)));
      }
      current = tlOn;
      break;
    case tlDump:
    case tlAppend:
      if (active) {
        write(value == tlAppend);
        // The property reads tlOff now: stop recording what nobody will write.
        stop();
        current = tlOff;
      }
      break;
    case tlClear:
      if (active) {
        if (log) {
          d.ClearLog();
        } else {
          d.ClearTrace();
        }
      }
      break;
    case tlPause:
      if (current == tlOn) {
        if (log) {
          d.PauseLog();
        } else {
          d.PauseTrace();
        }
        current = tlPause;
      }
      break;
    case tlAppendAndContinue:
      if (active) {
        write(true);
        current = tlOn;
      }
      break;
  }
}

void TQorCustomComPort::RestartTraceLog(bool log) {
  const TTraceLogState previous = log ? logging_ : tracing_;
  if (!dispatcher_ || open_state_ != cpsOpen || (previous != tlOn && previous != tlPause)) return;
  ApplyTraceLog(log, tlOff);
  ApplyTraceLog(log, previous);
}

void TQorCustomComPort::SetTraceSize(std::uint32_t size) {
  size = std::min(size, kMaxTraceSize);
  if (size == trace_size_ && !force_apply_) return;
  trace_size_ = size;
  RestartTraceLog(false);
}

void TQorCustomComPort::SetLogSize(std::uint32_t size) {
  size = std::min(size, kMaxLogSize);
  if (size == log_size_ && !force_apply_) return;
  log_size_ = size;
  RestartTraceLog(true);
}

}  // namespace qor
