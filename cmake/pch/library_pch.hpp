// The standard headers most of the library's and the tools' sources include,
// compiled once when QOR_LIBRARY_PCH is on. Every source still includes what it
// uses, so it builds the same without this file.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
