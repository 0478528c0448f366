// Writing the trace and the dispatch log out as text files.
#include "comm/dispatcher/base_dispatcher.hpp"
#include "comm/dispatcher/dump_items.hpp"
#include "comm/dispatcher/log_lines.hpp"
#include "comm/dispatcher/text_file.hpp"

namespace qor {

using platform::Locker;

namespace {

std::string TraceHeader(std::uint8_t kind) {
  if (kind == 'R') return "Receive: ";
  if (kind == 'T') return "Transmit: ";
  return std::string("Special-") + static_cast<char>(kind) + ": ";
}

}  // namespace

std::int32_t TQorBaseDispatcher::WriteTrace(const std::string& file_name, bool append,
                                            bool in_hex, bool all_hex) {
  // Held throughout, so that bytes traced meanwhile wait rather than being
  // wiped by the restart below.
  Locker lock(state_lock_);
  if (trace_buffer_.empty() || (!trace_wrapped_ && trace_index_ == 0)) return 0;
  TTextFile file;
  if (const std::int32_t opened = file.Open(file_name, append); opened != 0) {
    StopTrace();
    return opened;
  }
  const std::int32_t count = trace_wrapped_ ? trace_max_ : trace_index_;
  const std::int32_t oldest = trace_wrapped_ ? trace_index_ : 0;
  TItemLine line(file, kTraceWrap);
  int previous_kind = -1;  // none yet
  for (std::int32_t i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>((oldest + i) % trace_max_) * 2;
    const std::uint8_t kind = trace_buffer_[at];
    if (kind != previous_kind) {
      if (previous_kind >= 0) {
        file.EndLine();  // and an empty line between blocks
        file.EndLine();
      }
      file.Write(TraceHeader(kind));
      file.EndLine();
      line.Restart();
      previous_kind = kind;
    }
    line.Add(DumpItem(trace_buffer_[at + 1], in_hex, all_hex));
  }
  const std::int32_t result = file.Close();
  StartTrace(trace_max_);
  return result;
}

std::int32_t TQorBaseDispatcher::WriteLog(const std::string& file_name, bool append, bool in_hex,
                                          bool all_hex) {
  if (log_queue_.Empty()) return 0;
  Locker lock(state_lock_);
  TTextFile file;
  // On failure the entries stay queued for another try.
  if (const std::int32_t opened = file.Open(file_name, append); opened != 0) return opened;
  WriteLogHeader(file, DeviceName());
  // Entries added while writing are taken too.
  while (const auto item = log_queue_.Pop()) {
    if (const auto* entry = dynamic_cast<const TLogBuffer*>(item.get())) {
      WriteLogEntry(file, *entry, in_hex, all_hex);
    }
  }
  return file.Close();
}

}  // namespace qor
