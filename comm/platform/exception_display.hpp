#pragma once
#include <exception>
#include <functional>

namespace qor::platform {

// Shows an exception to the user. The hook may be called from any thread.
using ExceptionDisplay = std::function<void(const std::exception&)>;

// Installs display (an empty one restores the default, which writes
// "Exception: <what>" to stderr) and returns the hook it replaces.
ExceptionDisplay SetExceptionDisplay(ExceptionDisplay display);

void ShowException(const std::exception& e);

// For use inside catch (...): shows the exception being handled, with a generic
// text when it is not a std::exception.
void HandleCurrentException();

}  // namespace qor::platform
