// make-sample-image: writes a sample receiver image with the right signature
// and reproducible pseudo-random contents, for demonstrations and tests.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"make-sample-image - a sample kernel or root file system image"};
  std::string type;
  std::string out;
  std::uint32_t size = 300 * 1024;
  std::uint32_t seed = 1;
  app.add_option("--type", type, "kernel or rootfs")->required()->check(CLI::IsMember({"kernel", "rootfs"}));
  app.add_option("--size", size, "Size in bytes (at least 5)")->capture_default_str();
  app.add_option("--seed", seed, "Seed of the contents")->capture_default_str();
  app.add_option("output", out, "The file to write")->required();
  CLI11_PARSE(app, argc, argv);
  if (size < 5) {
    std::cerr << "make-sample-image: an image holds at least its 5-byte signature\n";
    return 2;
  }
  const unsigned char kernel[5] = {0x00, 0x52, 0x50, 0x4F, 0x00};
  const unsigned char rootfs[5] = {0x28, 0xCD, 0x3D, 0x45, 0x00};
  std::ofstream file(out, std::ios::binary);
  file.write(reinterpret_cast<const char*>(type == "kernel" ? kernel : rootfs), 5);
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::uint32_t i = 5; i < size; ++i) {
    x ^= x << 13;  // xorshift32
    x ^= x >> 17;
    x ^= x << 5;
    file.put(static_cast<char>(x & 0xFF));
  }
  if (!file) {
    std::cerr << "make-sample-image: cannot write " << out << '\n';
    return 1;
  }
  return 0;
}
