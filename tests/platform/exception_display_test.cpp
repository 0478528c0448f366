#include "comm/platform/exception_display.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qor::platform {
namespace {

TEST(ExceptionDisplay, HandleCurrentExceptionShowsWhatWasThrown) {
  struct Case {
    std::function<void()> raise;
    const char* shown;
  };
  const Case cases[] = {
      {[] { throw std::runtime_error("port busy"); }, "port busy"},
      {[] { throw 42; }, "Unknown exception"},
  };
  std::vector<std::string> shown;
  const ExceptionDisplay previous = SetExceptionDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
  for (const Case& c : cases) {
    try {
      c.raise();
    } catch (...) {
      HandleCurrentException();
    }
  }
  SetExceptionDisplay(previous);
  ASSERT_EQ(shown.size(), std::size(cases));
  for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], cases[i].shown);
}

TEST(ExceptionDisplay, SetReturnsTheHookItReplaces) {
  std::string shownBy;
  const ExceptionDisplay original = SetExceptionDisplay([&](const std::exception&) { shownBy = "first"; });
  const ExceptionDisplay first = SetExceptionDisplay([&](const std::exception&) { shownBy = "second"; });
  first(std::runtime_error("x"));
  EXPECT_EQ(shownBy, "first");
  ShowException(std::runtime_error("x"));
  EXPECT_EQ(shownBy, "second");
  SetExceptionDisplay(original);
}

TEST(ExceptionDisplay, DefaultWritesOneLineToStderr) {
  const ExceptionDisplay previous = SetExceptionDisplay(nullptr);
  testing::internal::CaptureStderr();
  ShowException(std::runtime_error("no carrier"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exception: no carrier\n");
  SetExceptionDisplay(previous);
}

}  // namespace
}  // namespace qor::platform
