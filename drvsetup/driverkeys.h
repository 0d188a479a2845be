#pragma once
// Where the analyzer's PSK31 driver looks for its three values, and what it
// assumes when one is missing. The driver reads these names, types and
// defaults itself, so they are written here once and nowhere else.

#include <QString>

namespace pelorin::keys {

inline const QString kOrganisation = QStringLiteral("Tollund");

// The two product profiles, each a separate settings tree.
inline const QString kClassicProfile = QStringLiteral("Sondrel Classic");
inline const QString kSummitProfile = QStringLiteral("Sondrel Summit");

inline const QString kSection = QStringLiteral("Quillet");

inline const QString kPtt = QStringLiteral("PTT");                                   // text
inline const QString kIf = QStringLiteral("IF");                                     // text
inline const QString kReverseOutputChannel = QStringLiteral("ReverseOutputChannel"); // int

inline const QString kDefaultPtt = QString();
inline const QString kDefaultIf = QStringLiteral("11025.0");
constexpr int kDefaultReverseOutputChannel = 0;

} // namespace pelorin::keys
