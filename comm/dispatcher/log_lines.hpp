#pragma once
#include <string>

#include "comm/dispatcher/io_queue.hpp"
#include "comm/dispatcher/text_file.hpp"

namespace qor {

// The lines that open every dump of the dispatch log: program, compiler,
// system, device, local date and time, column titles.
void WriteLogHeader(TTextFile& file, const std::string& device_name);

// One log entry as a table row (continued on further lines when its data is long).
void WriteLogEntry(TTextFile& file, const TLogBuffer& entry, bool in_hex, bool all_hex);

}  // namespace qor
