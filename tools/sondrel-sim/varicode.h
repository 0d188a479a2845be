#pragma once
// The PSK31 varicode table: how many bits each character takes on the air,
// which sets how long the simulated transmitter spends on it.

#include <string_view>

namespace sim {

// The code of a 7-bit character as a string of '0' and '1'; empty for bytes
// above 127, which the table does not cover.
std::string_view VaricodeOf(unsigned char byte);

// Bits on the air for one character: its code plus the two zero bits that
// separate it from the next. Bytes above 127 count as the longest code.
int VaricodeBits(unsigned char byte);

} // namespace sim
