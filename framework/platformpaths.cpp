#include "platformpaths.h"

#include <QDir>

namespace fw {

QChar PathSeparator()
{
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

QString DefaultUserFilesFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:");
#else
    return QDir::homePath();
#endif
}

} // namespace fw
