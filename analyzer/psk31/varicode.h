// The PSK31 varicode: one self-delimiting code word per byte. Frequent
// characters have short words; every word starts and ends with 1 and holds no
// "00", so two zero bits always mark the gap between characters.
#pragma once

#include <cstdint>
#include <string_view>

namespace psk31::varicode {

// Longest word in the table (bytes 232..255 use twelve bits).
inline constexpr int kMaxLength = 12;

// The word for `byte` as "1011"-style bits, first bit first, without the
// two separating zero bits.
std::string_view code(uint8_t byte);

// The byte whose word is `bits`, or -1 when no byte has that word.
int decode(std::string_view bits);

} // namespace psk31::varicode
