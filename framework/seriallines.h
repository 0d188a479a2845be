#pragma once
// The serial port's modem lines key a transmitter, so they must fall when the
// process ends in any way, a crash included, not only when it closes the port
// itself.

#include <QString>

namespace fw {

// Makes the system lower RTS and DTR of `device` when its last open handle
// closes, and lowers them now. Call it right after the port is opened and
// before it is ever keyed. Returns false with a reason when the port refuses.
bool LowerSerialLinesOnClose(const QString& device, QString* error);

} // namespace fw
