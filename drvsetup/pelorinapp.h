#pragma once
// The program from start to end: chooses the product profile from the
// command line, reads the driver's three values, runs the settings dialog and
// writes the values back when the operator leaves it with OK.

#include "settingsstore.h"

#include <QStringList>

class CPelorinDlg;
namespace pelorin {
struct DriverValues;
}
namespace fw {
class Prompter;
}

class CPelorinApp {
public:
    // Exit status after OK was pressed but the values never reached the store
    // and the operator gave up; a launcher can tell the driver is unchanged.
    static constexpr int kExitNotSaved = 1;

    // `arguments` without the program name.
    CPelorinApp(const QStringList& arguments, fw::Prompter& prompter);

    // Runs the dialog and returns the exit status: 0 once the values are
    // saved or the operator cancelled without trying to save.
    int Run();

private:
    pelorin::DriverValues readValues() const;
    bool writeValues(const pelorin::DriverValues& values) const;
    bool saveOrReport(const pelorin::DriverValues& values);

    fw::SettingsStore m_store;
    fw::Prompter& m_prompter;
    bool m_saveFailed = false;
};
