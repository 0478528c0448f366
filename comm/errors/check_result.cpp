#include "comm/errors/check_result.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

#include "comm/component/base_component.hpp"
#include "comm/errors/exceptions.hpp"

namespace qor {

namespace {

using Maker = std::exception_ptr (*)(std::int32_t);

template <class E>
std::exception_ptr Make(std::int32_t code) {
  return std::make_exception_ptr(E(code));
}

struct Mapping {
  std::int32_t code;
  Maker make;
};

#define QOR_MAKER(Name) &Make<Name>,

// Appends codes[i] -> makers[i] for a group whose classes follow its codes in order.
template <std::size_t N>
void AddGroup(std::vector<Mapping>& table, const std::array<std::int32_t, N>& codes,
              const std::array<Maker, N>& makers) {
  for (std::size_t i = 0; i < N; ++i) table.push_back({codes[i], makers[i]});
}

// Codes from first down to last (both negative), leaving out the listed gaps.
template <std::size_t N>
std::array<std::int32_t, N> CodeRun(std::int32_t first, std::int32_t last,
                                    std::initializer_list<std::int32_t> gaps = {}) {
  std::array<std::int32_t, N> codes{};
  std::size_t n = 0;
  for (std::int32_t c = first; c >= last; --c) {
    if (std::find(gaps.begin(), gaps.end(), c) != gaps.end()) continue;
    if (n < N) codes[n] = c;
    ++n;
  }
  return codes;
}

template <std::size_t N, std::size_t M>
std::array<std::int32_t, N + M> Join(const std::array<std::int32_t, N>& a,
                                     const std::array<std::int32_t, M>& b) {
  std::array<std::int32_t, N + M> out{};
  std::copy(a.begin(), a.end(), out.begin());
  std::copy(b.begin(), b.end(), out.begin() + N);
  return out;
}

std::vector<Mapping> BuildMappings() {
  std::vector<Mapping> table;
  AddGroup<8>(table, CodeRun<8>(-1002, -1009), {QOR_GENERAL_EXCEPTIONS(QOR_MAKER)});
  AddGroup<12>(table, CodeRun<12>(-2001, -2012), {QOR_OPEN_COMM_EXCEPTIONS(QOR_MAKER)});
  AddGroup<9>(table, CodeRun<9>(-3001, -3010, {-3002}), {QOR_SERIAL_IO_EXCEPTIONS(QOR_MAKER)});
  // The modem codes do not follow the class order.
  AddGroup<8>(table, CodeRun<8>(-4001, -4008),
              {&Make<EModemNotStarted>, &Make<EModemBusy>, &Make<EModemNotDialing>,
               &Make<ENotDialing>, &Make<EAlreadyDialing>, &Make<EModemNotResponding>,
               &Make<EModemRejectedCommand>, &Make<EModemStatusMismatch>});
  AddGroup<3>(table, CodeRun<3>(-5001, -5003), {QOR_TRIGGER_EXCEPTIONS(QOR_MAKER)});
  for (std::int32_t c : {-6006, -6008, -6009}) table.push_back({c, &Make<EProtocol>});
  AddGroup<10>(table, CodeRun<10>(-7001, -7014, {-7003, -7006, -7009, -7012}),
               {QOR_INI_EXCEPTIONS(QOR_MAKER)});
  for (std::int32_t c : {-7003, -7006, -7012}) table.push_back({c, &Make<EInternal>});
  AddGroup<17>(table, Join(Join(CodeRun<5>(-8001, -8005), CodeRun<1>(-8053, -8053)),
                           CodeRun<11>(-8060, -8070)),
               {QOR_FAX_EXCEPTIONS(QOR_MAKER)});
  AddGroup<92>(table,
               Join(Join(CodeRun<84>(-13801, -13886, {-13804, -13849}),
                         CodeRun<5>(-13928, -13932)),
                    std::array<std::int32_t, 3>{-13935, -13936, -13942}),
               {QOR_TAPI_EXCEPTIONS(QOR_MAKER)});
  table.push_back({-13980, &Make<ERasLoadFail>});
  std::sort(table.begin(), table.end(),
            [](const Mapping& a, const Mapping& b) { return a.code < b.code; });
  return table;
}

#undef QOR_MAKER

const std::vector<Mapping>& Mappings() {
  static const std::vector<Mapping> table = BuildMappings();
  return table;
}

}  // namespace

std::exception_ptr ExceptionForCode(std::int32_t code) {
  if (code == -8) return std::make_exception_ptr(std::bad_alloc());
  if (code <= -2 && code >= -162) return std::make_exception_ptr(EInOutError(code));
  const auto& table = Mappings();
  const auto it = std::lower_bound(table.begin(), table.end(), code,
                                   [](const Mapping& m, std::int32_t c) { return m.code < c; });
  if (it != table.end() && it->code == code) return it->make(code);
  return std::make_exception_ptr(EQORException::CreateWithText("Keso exception"));
}

std::int32_t CheckResult(const TQorBaseComponent* owner, std::int32_t code) {
  if (code >= 0) return code;
  if (owner != nullptr && owner->IsLoading()) return code;
  std::rethrow_exception(ExceptionForCode(code));
}

}  // namespace qor
