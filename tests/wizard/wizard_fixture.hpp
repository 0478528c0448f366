#pragma once
// A wizard window over a made-up port list, and image files to choose.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "app/wizard/wizard_form.hpp"
#include "tests/wizard/message_boxes.hpp"

namespace qor::testing {

using namespace std::string_view_literals;

inline constexpr std::string_view kKernelStart = "\x00\x52\x50\x4F\x00"sv;
inline constexpr std::string_view kRootFsStart = "\x28\xCD\x3D\x45\x00"sv;

// Ports only from these "COMn=path" entries; no machine ports.
inline TPortSources MadeUpPorts(std::vector<std::string> entries) {
  return {"/nonexistent/sys/class/tty", "/nonexistent/dev", "/nonexistent/dev/serial/by-id",
          std::move(entries)};
}

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder per test process: CTest runs several at once.
    dir_ = std::filesystem::path(::testing::TempDir()) / ("wizard-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A file of the given bytes in the test's folder (or below it).
  QString ImageFile(const std::string& name, std::string_view bytes) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return QString::fromStdString(path.string());
  }
  QString Missing() const { return QString::fromStdString((dir_ / "missing.bin").string()); }

  std::filesystem::path dir_;
  MessageBoxes boxes_;
  app::TForm1 form_{MadeUpPorts({"COM1=/dev/null", "COM2=/dev/null", "COM10=/dev/null"})};
};

}  // namespace qor::testing
