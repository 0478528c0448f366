#pragma once
// Shared setup for the trace and log file tests: an in-memory dispatcher and a
// scratch directory for the files, removed afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/dispatcher/memory_dispatcher.hpp"

namespace qor::testing {

class DumpFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "dump-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The file's lines, each of which must end with CR LF.
  std::vector<std::string> Lines(const std::string& name) const {
    const std::string text = Read(name);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t end = text.find("\r\n", at);
      EXPECT_NE(end, std::string::npos) << "unended last line";
      if (end == std::string::npos) break;
      lines.push_back(text.substr(at, end - at));
      EXPECT_EQ(lines.back().find('\n'), std::string::npos) << "bare line feed";
      at = end + 2;
    }
    return lines;
  }

  TMemoryDispatcher d;

 private:
  std::filesystem::path dir_;
};

}  // namespace qor::testing
