#include "psk31/varicode.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

namespace psk31::varicode {
namespace {

// Bytes 0..127: the table as published with the mode.
constexpr std::array<std::string_view, 128> kAscii = {
    "1010101011", "1011011011", "1011101101", "1101110111", "1011101011", "1101011111",
    "1011101111", "1011111101", "1011111111", "11101111", "11101", "1101101111",
    "1011011101", "11111", "1101110101", "1110101011", "1011110111", "1011110101",
    "1110101101", "1110101111", "1101011011", "1101101011", "1101101101", "1101010111",
    "1101111011", "1101111101", "1110110111", "1101010101", "1101011101", "1110111011",
    "1011111011", "1101111111",
    "1", "111111111", "101011111", "111110101", "111011011", "1011010101", "1010111011",
    "101111111", "11111011", "11110111", "101101111", "111011111", "1110101", "110101",
    "1010111", "110101111",
    "10110111", "10111101", "11101101", "11111111", "101110111", "101011011", "101101011",
    "110101101", "110101011", "110110111",
    "11110101", "110111101", "111101101", "1010101", "111010111", "1010101111",
    "1010111101", "1111101", "11101011", "10101101", "10110101", "1110111", "11011011",
    "11111101", "101010101", "1111111", "111111101", "101111101", "11010111", "10111011",
    "11011101", "10101011", "11010101", "111011101", "10101111", "1101111", "1101101",
    "101010111", "110110101", "101011101", "101110101", "101111011", "1010101101",
    "111110111", "111101111", "111111011", "1010111111", "101101101", "1011011111",
    "1011", "1011111", "101111", "101101", "11", "111101", "1011011", "101011", "1101",
    "111101011", "10111111", "11011", "111011", "1111", "111", "111111", "110111111",
    "10101", "10111", "101", "110111", "1111011", "1101011", "11011111", "1011101",
    "111010101", "1010110111", "110111011", "1010110101", "1011010111", "1110110101",
};

bool IsWord(const std::string& bits)
{
    return bits.front() == '1' && bits.back() == '1' && bits.find("00") == std::string::npos;
}

// Bytes 128..255 take the words the table leaves free, shortest first and, within
// one length, in ascending binary order: the extension the common programs share.
struct Table {
    std::array<std::string, 256> words;
    std::unordered_map<std::string_view, int> bytes;

    Table()
    {
        for (size_t i = 0; i < kAscii.size(); ++i)
            words[i] = std::string(kAscii[i]);
        size_t next = kAscii.size();
        for (int length = 1; next < words.size() && length <= kMaxLength; ++length) {
            for (uint32_t value = 1u << (length - 1); value < (1u << length) && next < words.size();
                 ++value) {
                std::string bits;
                for (int b = length - 1; b >= 0; --b)
                    bits += (value >> b) & 1 ? '1' : '0';
                if (IsWord(bits) && std::find(kAscii.begin(), kAscii.end(), bits) == kAscii.end())
                    words[next++] = bits;
            }
        }
        for (size_t i = 0; i < words.size(); ++i)
            bytes.emplace(words[i], int(i));
    }
};

const Table& TheTable()
{
    static const Table table;
    return table;
}

} // namespace

std::string_view code(uint8_t byte)
{
    return TheTable().words[byte];
}

int decode(std::string_view bits)
{
    const auto& bytes = TheTable().bytes;
    const auto it = bytes.find(bits);
    return it == bytes.end() ? -1 : it->second;
}

} // namespace psk31::varicode
