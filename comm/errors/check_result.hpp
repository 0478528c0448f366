#pragma once
#include <cstdint>
#include <exception>

namespace qor {

class TQorBaseComponent;

// The exception that stands for a negative library code: the class of the
// code's mapping, or EQORException "Keso exception" with ErrorCode 0 for a
// code outside it.
std::exception_ptr ExceptionForCode(std::int32_t code);

// Returns code when it is 0 or positive, or while owner is being loaded from
// its stored form; otherwise raises the exception of ExceptionForCode.
std::int32_t CheckResult(const TQorBaseComponent* owner, std::int32_t code);

}  // namespace qor
