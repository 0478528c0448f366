#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <typeinfo>

#include "comm/component/base_component.hpp"
#include "comm/errors/check_result.hpp"
#include "comm/errors/exceptions.hpp"

namespace qor {
namespace {

struct Raised {
  std::string type;     // dynamic type name of the exception
  std::int32_t code;    // ErrorCode, or the I/O error number
  std::string message;  // what()
};

Raised RaiseFor(std::int32_t code) {
  try {
    CheckResult(nullptr, code);
  } catch (const EQORException& e) {
    return {typeid(e).name(), e.ErrorCode(), e.what()};
  } catch (const EInOutError& e) {
    return {typeid(e).name(), e.ErrorCode(), e.what()};
  } catch (const std::bad_alloc& e) {
    return {typeid(e).name(), 0, ""};
  }
  ADD_FAILURE() << "no exception for " << code;
  return {};
}

template <class E>
std::string TypeOf() {
  return typeid(E).name();
}

TEST(CheckResult, MapsCodesToClassesCodesAndTexts) {
  const struct {
    std::int32_t code;
    std::string type;
    std::int32_t error_code;
    std::string message;
  } cases[] = {
      {-5003, TypeOf<EBadTriggerHandle>(), -5003, "Bad trigger handle"},
      {-5001, TypeOf<ENoMoreTriggers>(), -5001, "No more trigger slots"},
      {-2, TypeOf<EInOutError>(), 2, "File not found"},
      {-160, TypeOf<EInOutError>(), 160, "Device write error"},
      {-8, TypeOf<std::bad_alloc>(), 0, ""},
      // In the table, but outside the mapping: the generic exception.
      {-3002, TypeOf<EQORException>(), 0, "Keso exception"},
      {-1001, TypeOf<EQORException>(), 0, "Keso exception"},
      {-1, TypeOf<EQORException>(), 0, "Keso exception"},
      {-99999, TypeOf<EQORException>(), 0, "Keso exception"},
      {-1002, TypeOf<EBadArgument>(), -1002, "Bad argument passed to function"},
      {-1009, TypeOf<ECannotUseWithWinSock>(), -1009, "Component not compatible with WinSock"},
      {-2007, TypeOf<ECommNotOpen>(), -2007, "ie_NOpen - device not open"},
      {-2012, TypeOf<ENotOpenedByTapi>(), -2012, "Comport was not opened by Tapi"},
      {-3001, TypeOf<ENullApi>(), -3001, "No device layer specified"},
      {-3006, TypeOf<EOutputBufferTooSmall>(), -3006, "Output buffer too small for block"},
      {-3010, TypeOf<EBaseAddressNotSet>(), -3010, "Base address not set"},
      {-4004, TypeOf<ENotDialing>(), -4004, "Dialer is not dialing"},
      {-4006, TypeOf<EModemNotResponding>(), -4006, "Modem is not responding"},
      {-6008, TypeOf<EProtocol>(), -6008, "Too many errors during protocol"},
      {-6005, TypeOf<EQORException>(), 0, "Keso exception"},
      {-7004, TypeOf<EIniWrite>(), -7004, "Generic INI file write error"},
      {-7012, TypeOf<EInternal>(), -7012, "iPrepareIniDatabase not called"},
      {-7014, TypeOf<EBadFieldForIndex>(), -7014, "Bad field index in INI component"},
      {-8053, TypeOf<EInvalidPageNumber>(), -8053, "Invalid page number specified for fax"},
      {-8070, TypeOf<EFaxPageError>(), -8070, "Fax failed at page end"},
      {-13801, TypeOf<ETapiAllocated>(), -13801, "Already allocated"},
      {-13805, TypeOf<ETapiCallUnavail>(), -13805, "Call unavailable"},
      {-13850, TypeOf<ETapiInvalParam>(), -13850, "Invalid parameter"},
      {-13868, TypeOf<ETapiNoMem>(), -13868, "No memory"},
      {-13886, TypeOf<ETapiNoMultipleInstance>(), -13886, "No multiple instance"},
      {-13928, TypeOf<ETapiBusy>(), -13928, "TAPI already open, dialing or answering"},
      {-13942, TypeOf<ETapiTranslateFail>(), -13942, "Unable to translate address"},
      {-13804, TypeOf<EQORException>(), 0, "Keso exception"},
      {-13980, TypeOf<ERasLoadFail>(), -13980, "Failed to find/load RASAPI32.DLL"},
  };
  for (const auto& c : cases) {
    const Raised r = RaiseFor(c.code);
    EXPECT_EQ(r.type, c.type) << c.code;
    EXPECT_EQ(r.code, c.error_code) << c.code;
    EXPECT_EQ(r.message, c.message) << c.code;
  }
}

TEST(CheckResult, GroupClassesCatchTheirMembers) {
  EXPECT_THROW(CheckResult(nullptr, -5003), ETrigger);
  EXPECT_THROW(CheckResult(nullptr, -2007), EOpenComm);
  EXPECT_THROW(CheckResult(nullptr, -3004), ESerialIO);
  EXPECT_THROW(CheckResult(nullptr, -13868), ETapi);
  EXPECT_THROW(CheckResult(nullptr, -1006), EGeneral);
  // The I/O failure is the runtime's own kind, not one of the library's.
  EXPECT_THROW(CheckResult(nullptr, -161), std::system_error);
}

TEST(CheckResult, PassesSuccessAndSkipsWhileTheOwnerLoads) {
  EXPECT_EQ(CheckResult(nullptr, 0), 0);
  EXPECT_EQ(CheckResult(nullptr, 4711), 4711);
  TQorBaseComponent owner;
  owner.BeginLoading();
  EXPECT_EQ(CheckResult(&owner, -5003), -5003);
  owner.EndLoading();
  EXPECT_THROW(CheckResult(&owner, -5003), EBadTriggerHandle);
}

TEST(EQORException, CreateWithTextHasCodeZero) {
  const EQORException e = EQORException::CreateWithText("Dispatcher already started.");
  EXPECT_EQ(e.ErrorCode(), 0);
  EXPECT_STREQ(e.what(), "Dispatcher already started.");
  const EQORException f(5001);
  EXPECT_EQ(f.ErrorCode(), 5001);
  EXPECT_STREQ(f.what(), "No more trigger slots");
}

}  // namespace
}  // namespace qor
