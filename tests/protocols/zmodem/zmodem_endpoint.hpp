#pragma once
// Zmodem ends of a line for the tests: our component as a Zmodem endpoint,
// the lrzsz peers, and test files full of the bytes Zmodem must escape.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/protocols/kermit_receive/endpoint.hpp"

namespace qor::testing {

// Switches an endpoint to Zmodem with short waits and room for 8K blocks.
void MakeZmodem(Endpoint& e);

// sz sending files (relative to its directory), with extra options.
std::vector<std::string> SzCommand(const std::vector<std::string>& files,
                                   const std::vector<std::string>& options = {});
// rz receiving into its directory, with extra options.
std::vector<std::string> RzCommand(const std::vector<std::string>& options = {});

// Random bytes with many ZDLE, XON, XOFF, CR, "@" CR and 0x7F/0xFF in them.
std::string NastyBytes(std::size_t n, std::uint32_t seed);

}  // namespace qor::testing
