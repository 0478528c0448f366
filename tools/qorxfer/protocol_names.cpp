#include "tools/qorxfer/protocol_names.hpp"

namespace qor::xfer {

const std::map<std::string, TProtocolType>& ProtocolsByName() {
  // Every engine the component knows; one this build lacks is refused when
  // it is selected (-6015), so a new engine needs no change here.
  static const std::map<std::string, TProtocolType> names = {
      {"xmodem", ptXmodem},     {"xmodem-crc", ptXmodemCRC}, {"xmodem-1k", ptXmodem1K},
      {"xmodem-1kg", ptXmodem1KG}, {"ymodem", ptYmodem},     {"ymodem-g", ptYmodemG},
      {"zmodem", ptZmodem},     {"kermit", ptKermit},       {"ascii", ptAscii},
  };
  return names;
}

}  // namespace qor::xfer
