// What sondrel decode's two forms (one station, every station) share: the
// rates they take, how much they read at a time, and how they report.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace decoding {

constexpr double kLowestRate = 8000;
constexpr double kHighestRate = 96000;
constexpr std::size_t kBlock = 4096;

inline int Fail(const std::string& message)
{
    std::fprintf(stderr, "sondrel decode: %s\n", message.c_str());
    return 1;
}

// Decoding goes on after a warning.
inline void Warn(const std::string& message)
{
    std::fprintf(stderr, "sondrel decode: warning: %s\n", message.c_str());
}

} // namespace decoding
