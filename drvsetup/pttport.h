#pragma once
// The PTT value as the driver stores it and as the dialog's radio buttons
// number it: 0 to 3 for COM1 to COM4, 4 for None.

#include <QString>

namespace pelorin {

constexpr int kPttCom1 = 0;
constexpr int kPttCom4 = 3;
constexpr int kPttNone = 4;

// Only "COMn" and "comn" (n = 1 to 4) name a port; every other text, the
// empty one included, means None. The driver itself knows just these forms.
int PttIndexFromText(const QString& stored);

// "COM1" to "COM4", or "NONE" for None and for no button at all.
QString PttTextFromIndex(int index);

} // namespace pelorin
