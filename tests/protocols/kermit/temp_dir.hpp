#pragma once
// A fresh directory for a test's files, removed with everything in it.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

namespace qor::testing {

class TempDir {
 public:
  TempDir() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("kermit-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // A directory inside, created when missing.
  std::filesystem::path Subdir(const std::string& name) const {
    std::filesystem::create_directories(path_ / name);
    return path_ / name;
  }

  std::string Write(const std::string& name, const std::string& bytes) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }
  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

// Random bytes with runs in them, reproducible from seed.
inline std::string RandomBytes(std::size_t n, std::uint32_t seed, bool runs = true) {
  std::mt19937 gen(seed);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    const auto b = static_cast<char>(gen() & 0xFF);
    const std::size_t run = runs && (gen() % 16 == 0) ? 1 + gen() % 120 : 1;
    s.append(std::min(run, n - s.size()), b);
  }
  return s;
}

}  // namespace qor::testing
