#pragma once
// Per-user settings store of one program: profile-style reads and writes with
// section, key and default at every call. Nothing is cached; every call opens
// the native store afresh so that another writer's change is seen at once.

#include <QString>

namespace fw {

class SettingsStore {
public:
    explicit SettingsStore(QString application,
                           QString organisation = QStringLiteral("Tollund"));

    // A missing value yields the default; a stored value is returned as it is,
    // an empty text included. A stored int that is not an integer yields the default.
    int GetProfileInt(const QString& section, const QString& key, int defaultValue) const;
    QString GetProfileString(const QString& section, const QString& key,
                             const QString& defaultValue) const;

    // Both return false when the value did not reach the store.
    bool WriteProfileInt(const QString& section, const QString& key, int value) const;
    bool WriteProfileString(const QString& section, const QString& key,
                            const QString& value) const;

    // The file (or registry path) behind the store, for messages to the user.
    QString FileName() const;

private:
    bool write(const QString& section, const QString& key, const QVariant& value) const;

    QString m_application;
    QString m_organisation;
};

} // namespace fw
