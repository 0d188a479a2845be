#pragma once
// View update hints: bits 16-31 give the kind, bits 0-15 the character
// sign-extended from its byte (views use bits 0-7 only).

#include <QtGlobal>

namespace hint {

constexpr quint32 kTransmitted = 0x1000;
constexpr quint32 kReceived = 0x1001;
constexpr quint32 kClear = 0x1002;

constexpr quint32 Make(quint32 kind, unsigned char ch)
{
    return (kind << 16) | quint16(qint16(qint8(ch)));
}
constexpr quint32 Kind(quint32 h)
{
    return h >> 16;
}
constexpr unsigned char Char(quint32 h)
{
    return static_cast<unsigned char>(h & 0xFF);
}

} // namespace hint
