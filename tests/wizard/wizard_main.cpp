#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/wizard/message_pump.hpp"
#include "app/wizard/wizard_fonts.hpp"
#include "comm/platform/message_queue.hpp"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qor::platform::SetMainThread();
  QApplication app(argc, argv);
  qor::app::LoadWizardFonts();
  qor::app::TMessagePump pump;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
