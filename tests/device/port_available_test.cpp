// Ports named "COMn" through the process environment, opened for real.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "comm/device/port_available.hpp"
#include "tests/device/device_test_support.hpp"
#include "tests/device/pty_pair.hpp"

namespace qor::testing {
namespace {

// Maps a port number to a path for the life of the object.
class PortMapping {
 public:
  PortMapping(std::int32_t n, const std::string& path) : name_("COM" + std::to_string(n)) {
    setenv(name_.c_str(), path.c_str(), 1);
  }
  ~PortMapping() { unsetenv(name_.c_str()); }
  PortMapping(const PortMapping&) = delete;
  PortMapping& operator=(const PortMapping&) = delete;

 private:
  std::string name_;
};

std::int32_t OpenCom(TQorBaseDispatcher& d, std::int32_t n) {
  return d.OpenPort("COM" + std::to_string(n), 115200, 0, 8, 1, 4096, 4096, 0);
}

TEST(PortAvailable, FreeAndHeldPortsAreAvailableMissingOnesAreNot) {
  PtyPair pty;
  {
    PortMapping mapping(201, pty.Path());
    EXPECT_TRUE(PortAvailable(201));
    TQorPosixDispatcher holder(nullptr);
    ASSERT_EQ(OpenCom(holder, 201), 0);  // the probe closed it again at once
    EXPECT_TRUE(PortAvailable(201));     // held by someone else
  }
  EXPECT_FALSE(PortAvailable(201));
  EXPECT_FALSE(PortAvailable(0));
}

TEST(PortAvailable, APortNameIsResolvedAgainAtEveryOpen) {
  PtyPair first;
  PtyPair second;
  {
    PortMapping mapping(202, first.Path());
    TQorPosixDispatcher d(nullptr);
    ASSERT_EQ(OpenCom(d, 202), 0);
    ASSERT_EQ(WriteText(d, "one"), 0);
    EXPECT_EQ(first.Read(3), "one");
  }
  PortMapping mapping(202, second.Path());
  TQorPosixDispatcher d(nullptr);
  ASSERT_EQ(OpenCom(d, 202), 0);
  ASSERT_EQ(WriteText(d, "two"), 0);
  EXPECT_EQ(second.Read(3), "two");
}

}  // namespace
}  // namespace qor::testing
