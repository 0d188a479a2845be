#pragma once
// Texts the user sees outside the dialog templates: menu item, messages,
// version and command-line usage. The program's name and version are not
// translated; everything else goes through the "Pelorin" translation context.

#include "version.h"

#include <QString>

namespace pelorin::texts {

inline const QString kCaption = QStringLiteral("Pelorin");
inline const QString kVersion = QStringLiteral(VARKEL_VERSION);
QString AboutMenuItem();
QString HelpTitle();

QString EnterNumber();

// "Please enter a number between <low> and <high>."
QString EnterNumberBetween(double low, double high);

// Tells the operator that OK did not reach the store behind `fileName`.
QString SaveFailed(const QString& fileName);

QString UsageText();
QString VersionText();

} // namespace pelorin::texts
