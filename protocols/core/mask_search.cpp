// The default search for the next file to send: the regular files that match
// SearchMask, in name order, one per call.
#include <glob.h>
#include <sys/stat.h>

#include <cerrno>

#include "protocols/core/protocol_core.hpp"
#include "protocols/core/work_file.hpp"

namespace qor {

namespace {

// The directory part is taken literally; only the name part is a pattern.
std::string EscapeForGlob(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Fills the search with the matches; 0, or the code to report.
std::int32_t StartSearch(TProtocolData& data) {
  const std::string mask = data.SearchMask.data();
  const std::size_t cut = mask.find_last_of("/\\");
  const std::string directory = cut == std::string::npos ? std::string() : mask.substr(0, cut);
  std::string pattern = cut == std::string::npos ? mask : mask.substr(cut + 1);
  if (pattern == "*.*") pattern = "*";  // every file, with or without an extension
  if (!IsDirectory(directory.empty() ? (cut == 0 ? "/" : ".") : directory)) return -6004;

  const std::string prefix = cut == std::string::npos ? std::string() : directory + "/";
  data.SearchRec = {};
  // A mask that names an existing file is that file, even when its name holds
  // characters a pattern would read otherwise ("image[1].bin").
  if (IsRegularFile((prefix + pattern).c_str())) {
    data.SearchRec.matches.push_back(prefix + pattern);
    return 0;
  }
  glob_t found{};
  const int result = ::glob((EscapeForGlob(prefix) + pattern).c_str(), GLOB_PERIOD, nullptr, &found);
  if (result == 0) {
    for (std::size_t i = 0; i < found.gl_pathc; ++i) {
      if (IsRegularFile(found.gl_pathv[i])) data.SearchRec.matches.emplace_back(found.gl_pathv[i]);
    }
  }
  ::globfree(&found);
  if (result == GLOB_NOSPACE) return -8;
  return data.SearchRec.matches.empty() ? -6003 : 0;
}

void CloseSearch(TProtocolData& data, char* name) {
  name[0] = '\0';
  data.SearchRec = {};
  data.Searching = false;
}

}  // namespace

bool NextFileFromMask(TProtocolData& data, char* name) {
  if (data.SearchMask[0] == '\0') {
    ReportProtocolError(data, -6002);
    name[0] = '\0';
    return false;
  }
  if (data.FirstFind) {
    data.Searching = true;
    data.FirstFind = false;
    if (const std::int32_t code = StartSearch(data); code != 0) {
      ReportProtocolError(data, code);
      CloseSearch(data, name);
      return false;
    }
  }
  TSearchRec& search = data.SearchRec;
  if (search.next >= search.matches.size()) {  // the batch is complete
    CloseSearch(data, name);
    return false;
  }
  const std::string& next = search.matches[search.next++];
  if (next.size() >= kPathSize) {
    // A cut name would send some other file, or none.
    ReportProtocolError(data, -ENAMETOOLONG);
    CloseSearch(data, name);
    return false;
  }
  CopyName(name, next);
  return true;
}

}  // namespace qor
