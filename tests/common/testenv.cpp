#include "testenv.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace {
std::unique_ptr<QTemporaryDir>& root()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}
} // namespace

void IsolateTestEnvironment()
{
    root() = std::make_unique<QTemporaryDir>();
    const QString base = root()->path();
    QDir().mkpath(base + QStringLiteral("/config"));
    QDir().mkpath(base + QStringLiteral("/home"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(base + QStringLiteral("/config")));
    qputenv("HOME", QFile::encodeName(base + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(base + QStringLiteral("/sysconfig")));
}

void ClearSettings(const QString& application)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tollund"),
                       application);
    settings.clear();
    settings.sync();
}

QString SettingsFilePath(const QString& application)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tollund"),
                       application);
    return settings.fileName();
}
