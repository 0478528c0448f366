#include "comm/errors/exceptions.hpp"

#include "comm/errors/error_text.hpp"

namespace qor {

EQORException::EQORException(std::int32_t code) : EQORException(code, ErrorText(code)) {}

EQORException::EQORException(std::int32_t code, const std::string& text)
    : std::runtime_error(text), error_code_(code) {}

EQORException EQORException::CreateWithText(const std::string& text) {
  return EQORException(0, text);
}

namespace {

class InOutErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "qor-io"; }
  std::string message(int number) const override { return ErrorText(-number); }
};

std::int32_t Magnitude(std::int32_t code) { return code < 0 ? -code : code; }

}  // namespace

const std::error_category& InOutCategory() noexcept {
  static const InOutErrorCategory category;
  return category;
}

EInOutError::EInOutError(std::int32_t code)
    : std::system_error(Magnitude(code), InOutCategory()), text_(ErrorText(code)) {}

}  // namespace qor
