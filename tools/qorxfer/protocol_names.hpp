#pragma once
// The protocol names qorxfer accepts, in the order of TProtocolType.
#include <map>
#include <string>

#include "protocols/core/protocol_data.hpp"

namespace qor::xfer {

const std::map<std::string, TProtocolType>& ProtocolsByName();

}  // namespace qor::xfer
