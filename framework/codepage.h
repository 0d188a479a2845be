#pragma once
// 8-bit text in Windows-1252: every byte shows as exactly one character and
// goes back to the same byte. The five bytes the code page leaves undefined
// map to the C1 control characters of the same value.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <optional>

namespace fw::codepage {

QChar ToChar(unsigned char byte);
std::optional<unsigned char> ToByte(QChar ch);

// Characters with no byte in the code page are left out.
QByteArray FromUnicode(QStringView text);

} // namespace fw::codepage
