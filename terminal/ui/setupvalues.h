#pragma once
// What the Setup dialog shows and what its OK stores: host, port, and for
// each function key F9 to F12 a macro and its line-end box.

#include <QString>

#include <array>

namespace fw {
class SettingsStore;
}

struct SetupValues {
    struct Macro {
        QString text;
        bool cr = false;
    };

    QString host;
    int port = 0;
    std::array<Macro, 4> macros;  // F9, F10, F11, F12

    static SetupValues Read(const fw::SettingsStore& store);
    // Stops at the first value that does not reach the store: the rest would
    // fail the same way.
    bool Write(const fw::SettingsStore& store) const;
};
