#pragma once
// Every section and key of the terminal's settings store, written once.

#include <QString>

namespace keys {

inline const QString kSettings = QStringLiteral("Settings");
inline const QString kSetup = QStringLiteral("Setup");

// Section "Settings"
inline const QString kX = QStringLiteral("x");
inline const QString kY = QStringLiteral("y");
inline const QString kCx = QStringLiteral("cx");
inline const QString kCy = QStringLiteral("cy");
inline const QString kHeight1 = QStringLiteral("Height1");
inline const QString kHeight2 = QStringLiteral("Height2");
inline const QString kToolbarInIE4Style = QStringLiteral("ToolbarInIE4Style");
inline const QString kLogfileIndex = QStringLiteral("LogfileIndex");
inline const QString kLogDirectory = QStringLiteral("Log directory");

// Section "Setup"
inline const QString kHost = QStringLiteral("Host");
inline const QString kPort = QStringLiteral("Port");
inline const QString kF9Macro = QStringLiteral("F9 Macro");
inline const QString kF10Macro = QStringLiteral("F10 Macro");
inline const QString kF11Macro = QStringLiteral("F11 Macro");
inline const QString kF12Macro = QStringLiteral("F12 Macro");
inline const QString kF9Cr = QStringLiteral("F9 CR");
inline const QString kF10Cr = QStringLiteral("F10 CR");
inline const QString kF11Cr = QStringLiteral("F11 CR");
inline const QString kF12Cr = QStringLiteral("F12 CR");

// Defaults
constexpr int kDefaultX = 0;
constexpr int kDefaultY = 0;
constexpr int kDefaultCx = 500;
constexpr int kDefaultCy = 300;
constexpr int kDefaultHeight = 100;
inline const QString kDefaultHost = QStringLiteral("localhost");
constexpr int kDefaultPort = 5555;

} // namespace keys
