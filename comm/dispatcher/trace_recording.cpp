// Recording the trace and the dispatch log; writing them out is separate.
#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/platform/clock.hpp"

namespace qor {

using platform::Locker;

namespace {
constexpr std::int32_t kMaxTraceEntries = 4000000;
}

std::int32_t TQorBaseDispatcher::StartTrace(std::int32_t size) {
  Locker lock(state_lock_);
  if (!trace_buffer_.empty()) {
    ClearTrace();
  } else {
    if (size > kMaxTraceEntries || size < 0) return -1002;
    trace_max_ = size;
    trace_buffer_.assign(static_cast<std::size_t>(size) * 2, 0);
    trace_index_ = 0;
    trace_wrapped_ = false;
  }
  tracing_ = true;
  return 0;
}

std::int32_t TQorBaseDispatcher::ClearTrace() {
  Locker lock(state_lock_);
  trace_index_ = 0;
  trace_wrapped_ = false;
  return 0;
}

void TQorBaseDispatcher::StopTrace() {
  Locker lock(state_lock_);
  tracing_ = false;
  trace_buffer_.clear();
  trace_buffer_.shrink_to_fit();
  trace_max_ = 0;
  trace_index_ = 0;
  trace_wrapped_ = false;
}

void TQorBaseDispatcher::ResumeTrace() {
  Locker lock(state_lock_);
  if (!trace_buffer_.empty()) tracing_ = true;
}

void TQorBaseDispatcher::PauseTrace() {
  Locker lock(state_lock_);
  tracing_ = false;
}

bool TQorBaseDispatcher::Tracing() { return tracing_; }

void TQorBaseDispatcher::AddTraceEntry(char kind, std::uint8_t c) {
  Locker lock(state_lock_);
  if (trace_buffer_.empty() || trace_max_ == 0) return;
  trace_buffer_[static_cast<std::size_t>(trace_index_) * 2] = static_cast<std::uint8_t>(kind);
  trace_buffer_[static_cast<std::size_t>(trace_index_) * 2 + 1] = c;
  if (++trace_index_ >= trace_max_) {
    trace_index_ = 0;
    trace_wrapped_ = true;
  }
}

void TQorBaseDispatcher::StartLog(std::int32_t limit) {
  ClearLog();
  log_max_ = static_cast<std::uint32_t>(limit < 0 ? 0 : limit);
  logging_ = true;
}

void TQorBaseDispatcher::ClearLog() { log_queue_.Clear(); }

void TQorBaseDispatcher::StopLog() {
  logging_ = false;
  ClearLog();
}

void TQorBaseDispatcher::ResumeLog() { logging_ = true; }

void TQorBaseDispatcher::PauseLog() { logging_ = false; }

void TQorBaseDispatcher::AddLogEntry(std::uint8_t kind, std::uint16_t sub_kind,
                                     const std::uint8_t* data, std::uint32_t size,
                                     std::uint32_t number) {
  if (!logging_) return;
  const std::uint32_t limit = log_max_;
  while (limit != 0 && log_queue_.BytesQueued() > limit) log_queue_.Pop();
  const std::uint32_t time = platform::TimeGetTime() - log_time_base_;
  log_queue_.Push(std::make_unique<TLogBuffer>(kind, sub_kind, time, number, data, size));
}

}  // namespace qor
