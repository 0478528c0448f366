#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

namespace qor {

// Base of every exception the library raises for a failure code.
class EQORException : public std::runtime_error {
 public:
  // ErrorCode = code; the message is the table text of |code|.
  explicit EQORException(std::int32_t code);
  // ErrorCode = 0; the message is text.
  static EQORException CreateWithText(const std::string& text);

  std::int32_t ErrorCode() const noexcept { return error_code_; }

 protected:
  EQORException(std::int32_t code, const std::string& text);

 private:
  std::int32_t error_code_;
};

// The runtime's standard input/output failure: carries the error number |code|
// (code().value()) and the library's text for it as its whole message.
class EInOutError : public std::system_error {
 public:
  explicit EInOutError(std::int32_t code);
  const char* what() const noexcept override { return text_.c_str(); }
  int ErrorCode() const noexcept { return code().value(); }

 private:
  std::string text_;
};

// Error category of EInOutError: message(n) is the library's text for -n.
const std::error_category& InOutCategory() noexcept;

#define QOR_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {              \
   public:                                \
    using Base::Base;                     \
  };

// Group classes.
QOR_DECLARE_EXCEPTION(EGeneral, EQORException)
QOR_DECLARE_EXCEPTION(EOpenComm, EQORException)
QOR_DECLARE_EXCEPTION(ESerialIO, EQORException)
QOR_DECLARE_EXCEPTION(EModem, EQORException)
QOR_DECLARE_EXCEPTION(ETrigger, EQORException)
QOR_DECLARE_EXCEPTION(EProtocol, EQORException)
QOR_DECLARE_EXCEPTION(EINI, EQORException)
QOR_DECLARE_EXCEPTION(EFax, EQORException)
QOR_DECLARE_EXCEPTION(ETapi, EQORException)
QOR_DECLARE_EXCEPTION(ERas, EQORException)

// The leaf classes of each group, in table order.
#define QOR_GENERAL_EXCEPTIONS(X)                                                  \
  X(EBadArgument) X(EGotQuitMsg) X(EBufferTooBig) X(EPortNotAssigned) X(EInternal) \
  X(EModemNotAssigned) X(EPhonebookNotAssigned) X(ECannotUseWithWinSock)

#define QOR_OPEN_COMM_EXCEPTIONS(X)                                                        \
  X(EBadId) X(EBaudRate) X(EByteSize) X(EDefault) X(EHardware) X(EMemory) X(ECommNotOpen) \
  X(EAlreadyOpen) X(ENoHandles) X(ENoTimers) X(ENoPortSelected) X(ENotOpenedByTapi)

#define QOR_SERIAL_IO_EXCEPTIONS(X)                                                \
  X(ENullApi) X(ERegisterHandlerFailed) X(EPutBlockFail) X(EGetBlockFail)          \
  X(EOutputBufferTooSmall) X(EBufferIsEmpty) X(ETracingNotEnabled) X(ELoggingNotEnabled) \
  X(EBaseAddressNotSet)

#define QOR_MODEM_EXCEPTIONS(X)                                                          \
  X(EModemNotStarted) X(EModemBusy) X(EModemNotDialing) X(EModemNotResponding)           \
  X(EModemRejectedCommand) X(EModemStatusMismatch) X(EAlreadyDialing) X(ENotDialing)

#define QOR_TRIGGER_EXCEPTIONS(X) X(ENoMoreTriggers) X(ETriggerTooLong) X(EBadTriggerHandle)

#define QOR_INI_EXCEPTIONS(X)                                                            \
  X(EKeyTooLong) X(EDataTooLarge) X(EIniWrite) X(EIniRead) X(ERecordExists)              \
  X(ERecordNotFound) X(EDatabaseFull) X(EDatabaseEmpty) X(EBadFieldList) X(EBadFieldForIndex)

#define QOR_FAX_EXCEPTIONS(X)                                                             \
  X(EFaxBadFormat) X(EBadGraphicsFormat) X(EConvertAbort) X(EUnpackAbort)                 \
  X(ECantMakeBitmap) X(EInvalidPageNumber) X(EFaxBadMachine) X(EFaxBadModemResult)        \
  X(EFaxTrainError) X(EFaxInitError) X(EFaxBusy) X(EFaxVoiceCall) X(EFaxDataCall)         \
  X(EFaxNoDialTone) X(EFaxNoCarrier) X(EFaxSessionError) X(EFaxPageError)

// Telephony classes in code order: -13801 to -13886 without -13804 and -13849,
// then -13928 to -13932, -13935, -13936 and -13942.
#define QOR_TAPI_EXCEPTIONS(X)                                                                 \
  X(ETapiAllocated) X(ETapiBadDeviceID) X(ETapiBearerModeUnavail) X(ETapiCallUnavail)          \
  X(ETapiCompletionOverrun) X(ETapiConferenceFull) X(ETapiDialBilling) X(ETapiDialDialtone)    \
  X(ETapiDialPrompt) X(ETapiDialQuiet) X(ETapiIncompatibleApiVersion)                          \
  X(ETapiIncompatibleExtVersion) X(ETapiIniFileCorrupt) X(ETapiInUse) X(ETapiInvalAddress)     \
  X(ETapiInvalAddressID) X(ETapiInvalAddressMode) X(ETapiInvalAddressState)                    \
  X(ETapiInvalAppHandle) X(ETapiInvalAppName) X(ETapiInvalBearerMode)                          \
  X(ETapiInvalCallComplMode) X(ETapiInvalCallHandle) X(ETapiInvalCallParams)                   \
  X(ETapiInvalCallPrivilege) X(ETapiInvalCallSelect) X(ETapiInvalCallState)                    \
  X(ETapiInvalCallStatelist) X(ETapiInvalCard) X(ETapiInvalCompletionID)                       \
  X(ETapiInvalConfCallHandle) X(ETapiInvalConsultCallHandle) X(ETapiInvalCountryCode)          \
  X(ETapiInvalDeviceClass) X(ETapiInvalDeviceHandle) X(ETapiInvalDialParams)                   \
  X(ETapiInvalDigitList) X(ETapiInvalDigitMode) X(ETapiInvalDigits) X(ETapiInvalExtVersion)    \
  X(ETapiInvalGroupID) X(ETapiInvalLineHandle) X(ETapiInvalLineState) X(ETapiInvalLocation)    \
  X(ETapiInvalMediaList) X(ETapiInvalMediaMode) X(ETapiInvalMessageID) X(ETapiInvalParam)      \
  X(ETapiInvalParkID) X(ETapiInvalParkMode) X(ETapiInvalPointer) X(ETapiInvalPrivSelect)       \
  X(ETapiInvalRate) X(ETapiInvalRequestMode) X(ETapiInvalTerminalID) X(ETapiInvalTerminalMode) \
  X(ETapiInvalTimeout) X(ETapiInvalTone) X(ETapiInvalToneList) X(ETapiInvalToneMode)           \
  X(ETapiInvalTransferMode) X(ETapiLineMapperFailed) X(ETapiNoConference) X(ETapiNoDevice)     \
  X(ETapiNoDriver) X(ETapiNoMem) X(ETapiNoRequest) X(ETapiNotOwner) X(ETapiNotRegistered)      \
  X(ETapiOperationFailed) X(ETapiOperationUnavail) X(ETapiRateUnavail)                         \
  X(ETapiResourceUnavail) X(ETapiRequestOverrun) X(ETapiStructureTooSmall)                     \
  X(ETapiTargetNotFound) X(ETapiTargetSelf) X(ETapiUninitialized) X(ETapiUserUserInfoTooBig)   \
  X(ETapiReinit) X(ETapiAddressBlocked) X(ETapiBillingRejected) X(ETapiInvalFeature)           \
  X(ETapiNoMultipleInstance) X(ETapiBusy) X(ETapiNotSet) X(ETapiNoSelect) X(ETapiLoadFail)     \
  X(ETapiGetAddrFail) X(ETapiVoiceNotSupported) X(ETapiWaveFail) X(ETapiTranslateFail)

#define QOR_DECLARE_GENERAL(Name) QOR_DECLARE_EXCEPTION(Name, EGeneral)
#define QOR_DECLARE_OPEN_COMM(Name) QOR_DECLARE_EXCEPTION(Name, EOpenComm)
#define QOR_DECLARE_SERIAL_IO(Name) QOR_DECLARE_EXCEPTION(Name, ESerialIO)
#define QOR_DECLARE_MODEM(Name) QOR_DECLARE_EXCEPTION(Name, EModem)
#define QOR_DECLARE_TRIGGER(Name) QOR_DECLARE_EXCEPTION(Name, ETrigger)
#define QOR_DECLARE_INI(Name) QOR_DECLARE_EXCEPTION(Name, EINI)
#define QOR_DECLARE_FAX(Name) QOR_DECLARE_EXCEPTION(Name, EFax)
#define QOR_DECLARE_TAPI(Name) QOR_DECLARE_EXCEPTION(Name, ETapi)

QOR_GENERAL_EXCEPTIONS(QOR_DECLARE_GENERAL)
QOR_OPEN_COMM_EXCEPTIONS(QOR_DECLARE_OPEN_COMM)
QOR_SERIAL_IO_EXCEPTIONS(QOR_DECLARE_SERIAL_IO)
QOR_MODEM_EXCEPTIONS(QOR_DECLARE_MODEM)
QOR_TRIGGER_EXCEPTIONS(QOR_DECLARE_TRIGGER)
QOR_INI_EXCEPTIONS(QOR_DECLARE_INI)
QOR_FAX_EXCEPTIONS(QOR_DECLARE_FAX)
QOR_TAPI_EXCEPTIONS(QOR_DECLARE_TAPI)
QOR_DECLARE_EXCEPTION(ERasLoadFail, ERas)

#undef QOR_DECLARE_GENERAL
#undef QOR_DECLARE_OPEN_COMM
#undef QOR_DECLARE_SERIAL_IO
#undef QOR_DECLARE_MODEM
#undef QOR_DECLARE_TRIGGER
#undef QOR_DECLARE_INI
#undef QOR_DECLARE_FAX
#undef QOR_DECLARE_TAPI

}  // namespace qor
