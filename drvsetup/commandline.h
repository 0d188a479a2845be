#pragma once
// What the command line asks of the program: which product profile to edit,
// or only to print the usage or the version.

#include <QString>
#include <QStringList>

namespace pelorin {

enum class CommandLineAction { Run, ShowUsage, ShowVersion };

// `arguments` without the program name. The first of "--help" and "--version"
// wins; every other switch is ignored.
CommandLineAction FindCommandLineAction(const QStringList& arguments);

// The first argument that is not a switch (does not begin with "/" or "-")
// selects the profile: containing "Pro" (case-sensitive) means the Summit
// tree; anything else, or no such argument, the Classic tree. Later arguments
// never count, so "a.txt Pro" edits the Classic tree.
QString ChooseProfile(const QStringList& arguments);

} // namespace pelorin
