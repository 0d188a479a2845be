#include "frequency.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace pelorin {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The white space C's isspace knows in the C locale.
bool isCSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')
        || c == QLatin1Char('\v') || c == QLatin1Char('\f') || c == QLatin1Char('\r');
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

struct Scanned {
    qsizetype end = 0;      // first character after the number
    bool converted = false; // false: no number at all
    double value = 0.0;
};

// Exponent magnitudes beyond this are all the same to a double.
constexpr long long kExponentClamp = 1'000'000;

// The value of an unsigned decimal text that std::from_chars rejected as out
// of range: too large means infinity, too small means zero. The decimal
// exponent of the first significant digit tells which.
double outOfRangeValue(const std::string& intDigits, const std::string& fracDigits,
                       long long exponent)
{
    long long lead = 0;
    const auto firstInt = intDigits.find_first_not_of('0');
    if (firstInt != std::string::npos) {
        lead = static_cast<long long>(intDigits.size() - firstInt);
    } else {
        const auto firstFrac = fracDigits.find_first_not_of('0');
        lead = firstFrac == std::string::npos ? 0 : -static_cast<long long>(firstFrac);
    }
    return lead + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

// Reads the longest "[sign] digits [. digits] [e [sign] digits]" at `pos`,
// with at least one digit before or after the point.
Scanned scanDecimal(QStringView text, qsizetype pos)
{
    Scanned result;
    const qsizetype size = text.size();
    bool negative = false;
    if (pos < size && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
        negative = text[pos] == QLatin1Char('-');
        ++pos;
    }
    std::string intDigits;
    while (pos < size && isDigit(text[pos]))
        intDigits += static_cast<char>(text[pos++].unicode());
    std::string fracDigits;
    qsizetype afterMantissa = pos;
    if (pos < size && text[pos] == QLatin1Char('.')) {
        qsizetype p = pos + 1;
        while (p < size && isDigit(text[p]))
            fracDigits += static_cast<char>(text[p++].unicode());
        afterMantissa = p;
    }
    if (intDigits.empty() && fracDigits.empty())
        return result;
    pos = afterMantissa;

    std::string exponentText;
    long long exponent = 0;
    if (pos < size && (text[pos] == QLatin1Char('e') || text[pos] == QLatin1Char('E'))) {
        qsizetype p = pos + 1;
        bool exponentNegative = false;
        if (p < size && (text[p] == QLatin1Char('+') || text[p] == QLatin1Char('-'))) {
            exponentNegative = text[p] == QLatin1Char('-');
            ++p;
        }
        if (p < size && isDigit(text[p])) {
            exponentText = exponentNegative ? "e-" : "e";
            while (p < size && isDigit(text[p])) {
                exponentText += static_cast<char>(text[p].unicode());
                exponent = std::min(exponent * 10 + text[p].digitValue(), kExponentClamp);
                ++p;
            }
            if (exponentNegative)
                exponent = -exponent;
            pos = p;
        }
    }

    const std::string number = (intDigits.empty() ? std::string("0") : intDigits) + '.'
        + fracDigits + exponentText;
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                              std::chars_format::general);
    if (error == std::errc::result_out_of_range)
        value = outOfRangeValue(intDigits, fracDigits, exponent);
    else if (error != std::errc() || end != number.data() + number.size())
        value = 0.0;

    result.end = pos;
    result.converted = true;
    result.value = negative ? -value : value;
    return result;
}

bool inBand(double hz)
{
    return hz >= kMinFrequency && hz <= kMaxFrequency;
}

// -0 is a number in the band, but the driver and the field should never see "-0".
double withoutNegativeZero(double hz)
{
    return hz == 0.0 ? 0.0 : hz;
}

QString toChars(double value, std::chars_format format, int precision)
{
    char buffer[512];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (error != std::errc())
        return QString();
    return QString::fromLatin1(buffer, end - buffer);
}

} // namespace

double AtofDecimal(QStringView text)
{
    qsizetype pos = 0;
    while (pos < text.size() && isCSpace(text[pos]))
        ++pos;
    const Scanned scanned = scanDecimal(text, pos);
    return scanned.converted ? scanned.value : 0.0;
}

double FrequencyFromStored(QStringView stored)
{
    const double hz = AtofDecimal(stored);
    return inBand(hz) ? withoutNegativeZero(hz) : 0.0;
}

FieldValue ReadFrequencyField(QStringView text)
{
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const Scanned scanned = scanDecimal(text, pos);
    if (!scanned.converted)
        return {FieldStatus::NotANumber, 0.0};
    pos = scanned.end;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos != text.size())
        return {FieldStatus::NotANumber, 0.0};
    if (!inBand(scanned.value))
        return {FieldStatus::OutOfRange, 0.0};
    return {FieldStatus::Ok, withoutNegativeZero(scanned.value)};
}

QString FormatForField(double hz)
{
    return toChars(hz, std::chars_format::general, 15);
}

QString FormatForStore(double hz)
{
    constexpr int kFieldWidth = 5;
    return toChars(hz, std::chars_format::fixed, 5).rightJustified(kFieldWidth, QLatin1Char(' '));
}

} // namespace pelorin
