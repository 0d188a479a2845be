// The settings store over the real native file: defaults, stored values as
// they are, and writes that report whether they reached the store.

#include "settingsstore.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

class TestSettingsStore : public QObject {
    Q_OBJECT
private:
    const QString kApp = QStringLiteral("StoreTest");

private slots:
    void init() { ClearSettings(kApp); }

    void missingValuesYieldTheDefault()
    {
        fw::SettingsStore store(kApp);
        QCOMPARE(store.GetProfileInt(QStringLiteral("Setup"), QStringLiteral("Port"), 5555), 5555);
        QCOMPARE(store.GetProfileString(QStringLiteral("Setup"), QStringLiteral("Host"),
                                        QStringLiteral("localhost")),
                 QStringLiteral("localhost"));
    }

    void storedValuesComeBackAsStored_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty text is a value") << QString("");
        QTest::newRow("blanks") << QString("  a b  ");
        QTest::newRow("commas") << QString("CQ, CQ, de");
        QTest::newRow("code page characters") << QStringLiteral("\u00e9\u20ac\u0081");
        QTest::newRow("looks like a number") << QString("0042");
        QTest::newRow("key text with equals and hash") << QString("a=b #c ;d");
    }
    void storedValuesComeBackAsStored()
    {
        QFETCH(QString, text);
        fw::SettingsStore store(kApp);
        QVERIFY(store.WriteProfileString(QStringLiteral("Setup"), QStringLiteral("F9 Macro"), text));
        QCOMPARE(fw::SettingsStore(kApp).GetProfileString(QStringLiteral("Setup"),
                                                          QStringLiteral("F9 Macro"),
                                                          QStringLiteral("default")),
                 text);
    }

    void integers_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << "42" << 42;
        QTest::newRow("negative") << "-7" << -7;
        QTest::newRow("blanks around") << " 12 " << 12;
        QTest::newRow("not an integer") << "abc" << 99;
        QTest::newRow("trailing text") << "12abc" << 99;
        QTest::newRow("empty") << "" << 99;
        QTest::newRow("too big") << "99999999999" << 99;
    }
    void integers()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        fw::SettingsStore store(kApp);
        QVERIFY(store.WriteProfileString(QStringLiteral("Settings"), QStringLiteral("x"), stored));
        QCOMPARE(store.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("x"), 99), expected);
    }

    void writtenIntegersRoundTrip()
    {
        fw::SettingsStore store(kApp);
        QVERIFY(store.WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("LogfileIndex"), 12345));
        QCOMPARE(store.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("LogfileIndex"), 0), 12345);
        QVERIFY(store.FileName().endsWith(QStringLiteral("Tollund/StoreTest.conf")));
    }

    void aWriteThatCannotReachTheStoreSaysSo()
    {
        fw::SettingsStore store(kApp);
        const QString file = store.FileName();
        QFile::remove(file);
        // A folder where the file should be cannot be replaced by any user, root included.
        QVERIFY(QDir().mkpath(file));
        QVERIFY(!store.WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("x"), 1));
        QVERIFY(!store.WriteProfileString(QStringLiteral("Setup"), QStringLiteral("Host"), QStringLiteral("h")));
        QVERIFY(QDir(file).removeRecursively());
        QVERIFY(store.WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("x"), 1));
    }

    void anotherWritersChangeIsSeenAtOnce()
    {
        fw::SettingsStore store(kApp);
        QCOMPARE(store.GetProfileInt(QStringLiteral("Setup"), QStringLiteral("Port"), 1), 1);
        QSettings other(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tollund"), kApp);
        other.setValue(QStringLiteral("Setup/Port"), 7000);
        other.sync();
        QCOMPARE(store.GetProfileInt(QStringLiteral("Setup"), QStringLiteral("Port"), 1), 7000);
    }
};

VARKEL_TEST_MAIN(TestSettingsStore, QCoreApplication)
#include "tst_settingsstore.moc"
