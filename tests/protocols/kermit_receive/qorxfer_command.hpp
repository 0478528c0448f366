#pragma once
// The command line of the qorxfer built with the tests (QORXFER_PATH, set by
// the test target).
#include <string>
#include <vector>

namespace qor::testing {

inline std::vector<std::string> Qorxfer(std::vector<std::string> args) {
  args.insert(args.begin(), QORXFER_PATH);
  return args;
}

}  // namespace qor::testing
