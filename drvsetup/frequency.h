#pragma once
// The centre frequency between its three forms: the stored text the driver
// reads, the number the dialog holds and the text its field shows. Every
// conversion uses '.' as the decimal point whatever the user's locale, since
// the driver reads the text in the C locale.

#include <QString>
#include <QStringView>

namespace pelorin {

constexpr double kMinFrequency = 0.0;
constexpr double kMaxFrequency = 4000.0;

// What C's atof makes of `text`: leading white space skipped, the longest
// decimal number taken, the rest ignored, 0 when nothing converts. Only
// decimal forms count; "nan", "inf" and hexadecimal numbers convert to 0 as
// they did on the platform the driver was written for, so a stored "nan" can
// never become the frequency.
double AtofDecimal(QStringView text);

// The frequency the dialog starts with for a stored "IF" text: the converted
// value when it lies in the accepted band, else 0.
double FrequencyFromStored(QStringView stored);

enum class FieldStatus { Ok, NotANumber, OutOfRange };

struct FieldValue {
    FieldStatus status;
    double value; // meaningful only when status is Ok
};

// Reads the field back strictly: the whole text must be one decimal number,
// with spaces and tabs allowed around it, and it must lie in the accepted band.
FieldValue ReadFrequencyField(QStringView text);

// C's "%.15g": what the field shows (1500.25, 0, 4000).
QString FormatForField(double hz);

// C's "%5.5lf": what the driver reads back (1000.00000).
QString FormatForStore(double hz);

} // namespace pelorin
