#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "comm/platform/message_queue.hpp"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qor::platform::SetMainThread();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
