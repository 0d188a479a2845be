#include "settingsstore.h"

#include <QSettings>

namespace fw {

namespace {
QString path(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsStore::SettingsStore(QString application, QString organisation)
    : m_application(std::move(application)), m_organisation(std::move(organisation))
{
}

int SettingsStore::GetProfileInt(const QString& section, const QString& key,
                                 int defaultValue) const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, m_organisation,
                       m_application);
    const QVariant value = settings.value(path(section, key));
    if (!value.isValid())
        return defaultValue;
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::UInt
        || value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::ULongLong) {
        bool ok = false;
        const int number = value.toInt(&ok);
        return ok ? number : defaultValue;
    }
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok, 10);
    return ok ? number : defaultValue;
}

QString SettingsStore::GetProfileString(const QString& section, const QString& key,
                                        const QString& defaultValue) const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, m_organisation,
                       m_application);
    const QVariant value = settings.value(path(section, key));
    if (!value.isValid())
        return defaultValue;
    // A list would come back from a hand-edited file with a comma in an unquoted value.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

bool SettingsStore::WriteProfileInt(const QString& section, const QString& key, int value) const
{
    return write(section, key, value);
}

bool SettingsStore::WriteProfileString(const QString& section, const QString& key,
                                       const QString& value) const
{
    return write(section, key, value);
}

bool SettingsStore::write(const QString& section, const QString& key, const QVariant& value) const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, m_organisation,
                       m_application);
    if (!settings.isWritable())
        return false;
    settings.setValue(path(section, key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString SettingsStore::FileName() const
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, m_organisation,
                       m_application);
    return settings.fileName();
}

} // namespace fw
