#pragma once
// Texts the user sees outside the dialog templates: menu item, messages,
// version and command-line usage.

#include "version.h"

#include <QString>

namespace pelorin::texts {

inline const QString kCaption = QStringLiteral("Pelorin");
inline const QString kVersion = QStringLiteral(VARKEL_VERSION);
inline const QString kAboutMenuItem = QStringLiteral("&About Pelorin...");
inline const QString kHelpTitle = QStringLiteral("Pelorin Help");

inline const QString kEnterNumber = QStringLiteral("Please enter a number.");

// "Please enter a number between <low> and <high>."
QString EnterNumberBetween(double low, double high);

// Tells the operator that OK did not reach the store behind `fileName`.
QString SaveFailed(const QString& fileName);

QString UsageText();
QString VersionText();

} // namespace pelorin::texts
