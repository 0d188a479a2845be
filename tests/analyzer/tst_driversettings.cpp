// The analyzer reads the driver's values exactly as Pelorin writes them, with
// Pelorin's rules for stored texts it did not write, and falls back where the
// modem cannot work at the signal path's sample rate, saying plainly why.

#include "driverkeys.h"
#include "frequency.h"
#include "pttport.h"
#include "settingsstore.h"
#include "station/driversettings.h"
#include "testenv.h"

#include <QtTest>

namespace keys = pelorin::keys;
using sondrel::DriverSettings;
using If = DriverSettings::If;

namespace {
constexpr double kCardRate = 48000;
}

class TestDriverSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void readsWhatPelorinWrites_data();
    void readsWhatPelorinWrites();
    void storedTextsByPelorinsRules_data();
    void storedTextsByPelorinsRules();
    void fallBackSaysWhy_data();
    void fallBackSaysWhy();
    void profilesAndSerialMapping();
};

void TestDriverSettings::init()
{
    ClearSettings(keys::kClassicProfile);
    ClearSettings(keys::kSummitProfile);
    ClearSettings(QStringLiteral("Sondrel"));
}

void TestDriverSettings::readsWhatPelorinWrites_data()
{
    QTest::addColumn<int>("pttIndex");
    QTest::addColumn<double>("hz");
    QTest::addColumn<int>("reverse");
    QTest::addColumn<int>("comPort");
    QTest::addColumn<double>("centreHz");
    QTest::addColumn<bool>("fellBack");
    QTest::newRow("COM1, 1000 Hz, left") << pelorin::kPttCom1 << 1000.0 << 0 << 1 << 1000.0 << false;
    QTest::newRow("COM4, 1500.25 Hz, right") << pelorin::kPttCom4 << 1500.25 << 1 << 4 << 1500.25 << false;
    QTest::newRow("none, 4000 Hz") << pelorin::kPttNone << 4000.0 << 0 << 0 << 4000.0 << false;
    QTest::newRow("0 Hz, Pelorin's value before one is set")
        << pelorin::kPttNone << 0.0 << 0 << 0 << 1000.0 << true;
    QTest::newRow("too close to 0 Hz") << pelorin::kPttNone << 150.0 << 0 << 0 << 1000.0 << true;
}

void TestDriverSettings::readsWhatPelorinWrites()
{
    QFETCH(int, pttIndex);
    QFETCH(double, hz);
    QFETCH(int, reverse);
    QFETCH(int, comPort);
    QFETCH(double, centreHz);
    QFETCH(bool, fellBack);
    const fw::SettingsStore pelorin(keys::kClassicProfile, keys::kOrganisation);
    QVERIFY(pelorin.WriteProfileString(keys::kSection, keys::kPtt, pelorin::PttTextFromIndex(pttIndex)));
    QVERIFY(pelorin.WriteProfileString(keys::kSection, keys::kIf, pelorin::FormatForStore(hz)));
    QVERIFY(pelorin.WriteProfileInt(keys::kSection, keys::kReverseOutputChannel, reverse));

    const DriverSettings read = sondrel::readDriverSettings(keys::kClassicProfile, kCardRate);
    QCOMPARE(read.comPort, comPort);
    QCOMPARE(read.pttDevice, comPort ? QStringLiteral("/dev/ttyS%1").arg(comPort - 1) : QString());
    QCOMPARE(read.centreHz, centreHz);
    QCOMPARE(read.ifStatus != If::Usable, fellBack);
    QCOMPARE(read.reverseOutput, reverse == 1);
    const QString log = sondrel::describe(read, keys::kClassicProfile).join(QLatin1Char('\n'));
    QCOMPARE(log.contains(QStringLiteral("Pelorin")), fellBack);
}

// Texts written by hand or by older tools: "" means the value is missing.
void TestDriverSettings::storedTextsByPelorinsRules_data()
{
    QTest::addColumn<QString>("ptt");
    QTest::addColumn<QString>("ifText");
    QTest::addColumn<int>("reverse");
    QTest::addColumn<int>("comPort");
    QTest::addColumn<double>("centreHz");
    QTest::addColumn<bool>("reverseOutput");
    QTest::newRow("nothing stored") << "" << "" << 0 << 0 << 1000.0 << false;
    QTest::newRow("small form com2") << "com2" << "1200" << 0 << 2 << 1200.0 << false;
    QTest::newRow("mixed case is none") << "Com2" << "1200" << 0 << 0 << 1200.0 << false;
    QTest::newRow("COM5 is none") << "COM5" << "1200" << 0 << 0 << 1200.0 << false;
    QTest::newRow("atof: blanks and trailing text") << "NONE" << "  1750.5Hz" << 0 << 0 << 1750.5 << false;
    QTest::newRow("atof: nothing converts") << "NONE" << "abc" << 0 << 0 << 1000.0 << false;
    QTest::newRow("above 4000") << "NONE" << "4000.5" << 0 << 0 << 1000.0 << false;
    QTest::newRow("negative") << "NONE" << "-1000" << 0 << 0 << 1000.0 << false;
    QTest::newRow("reverse 2 is not 0") << "NONE" << "1000" << 2 << 0 << 1000.0 << true;
    QTest::newRow("reverse -1 is not 0") << "NONE" << "1000" << -1 << 0 << 1000.0 << true;
}

void TestDriverSettings::storedTextsByPelorinsRules()
{
    QFETCH(QString, ptt);
    QFETCH(QString, ifText);
    QFETCH(int, reverse);
    QFETCH(int, comPort);
    QFETCH(double, centreHz);
    QFETCH(bool, reverseOutput);
    const fw::SettingsStore store(keys::kClassicProfile, keys::kOrganisation);
    if (!ptt.isEmpty())
        QVERIFY(store.WriteProfileString(keys::kSection, keys::kPtt, ptt));
    if (!ifText.isEmpty())
        QVERIFY(store.WriteProfileString(keys::kSection, keys::kIf, ifText));
    QVERIFY(store.WriteProfileInt(keys::kSection, keys::kReverseOutputChannel, reverse));

    const DriverSettings read = sondrel::readDriverSettings(keys::kClassicProfile, kCardRate);
    QCOMPARE(read.comPort, comPort);
    QCOMPARE(read.centreHz, centreHz);
    QCOMPARE(read.reverseOutput, reverseOutput);
}

// The receiver's band depends on the rate: loopback runs at 8000 samples a second.
void TestDriverSettings::fallBackSaysWhy_data()
{
    QTest::addColumn<QString>("stored"); // null: nothing stored
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("status");
    QTest::addColumn<double>("centreHz");
    QTest::addColumn<QString>("line");
    QTest::newRow("fresh store")
        << QString() << kCardRate << int(If::NotSet) << 1000.0
        << "no IF set with Pelorin yet (\"Sondrel Classic\" holds none): working at 1000 Hz";
    QTest::newRow("3950 Hz at 8000")
        << "3950.00000" << 8000.0 << int(If::OutsideReceiver) << 1000.0
        << "IF 3950 Hz from \"Sondrel Classic\" cannot be received at 8000 samples "
           "a second (170 to 3830 Hz): working at 1000 Hz";
    QTest::newRow("4000 Hz at 8000")
        << "4000.00000" << 8000.0 << int(If::OutsideReceiver) << 1000.0 << "IF 4000 Hz";
    QTest::newRow("3950 Hz at 48000")
        << "3950.00000" << kCardRate << int(If::Usable) << 3950.0 << "IF: 3950 Hz";
    QTest::newRow("a NUL in the stored text")
        << QStringLiteral("4500%1x").arg(QChar(0)) << kCardRate << int(If::OutsidePelorin) << 1000.0
        << "IF \"4500\\x00x\" from \"Sondrel Classic\" is outside Pelorin's "
           "0 to 4000 Hz: working at 1000 Hz";
}

void TestDriverSettings::fallBackSaysWhy()
{
    QFETCH(QString, stored);
    QFETCH(double, rate);
    QFETCH(int, status);
    QFETCH(double, centreHz);
    QFETCH(QString, line);
    const fw::SettingsStore store(keys::kClassicProfile, keys::kOrganisation);
    if (!stored.isNull())
        QVERIFY(store.WriteProfileString(keys::kSection, keys::kIf, stored));

    const DriverSettings read = sondrel::readDriverSettings(keys::kClassicProfile, rate);
    QCOMPARE(int(read.ifStatus), status);
    QCOMPARE(read.centreHz, centreHz);
    const QString log = sondrel::describe(read, keys::kClassicProfile).join(QLatin1Char('\n'));
    QVERIFY2(log.contains(line), qPrintable(log));
    QVERIFY(!log.contains(QChar(0)));
}

void TestDriverSettings::profilesAndSerialMapping()
{
    QCOMPARE(sondrel::profileName(QStringLiteral("summit")), keys::kSummitProfile);
    QCOMPARE(sondrel::profileName(QStringLiteral("classic")), keys::kClassicProfile);
    const fw::SettingsStore summit(keys::kSummitProfile, keys::kOrganisation);
    QVERIFY(summit.WriteProfileString(keys::kSection, keys::kPtt, QStringLiteral("COM1")));
    QVERIFY(summit.WriteProfileString(keys::kSection, keys::kIf, QStringLiteral("2000.00000")));
    const fw::SettingsStore own(QStringLiteral("Sondrel"), keys::kOrganisation);
    QVERIFY(own.WriteProfileString(QStringLiteral("Serial ports"), QStringLiteral("COM1"),
                                   QStringLiteral("/dev/ttyUSB0")));

    const DriverSettings read = sondrel::readDriverSettings(keys::kSummitProfile, kCardRate);
    QCOMPARE(read.pttDevice, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(read.centreHz, 2000.0);
    QCOMPARE(sondrel::readDriverSettings(keys::kClassicProfile, kCardRate).comPort, 0);
}

VARKEL_TEST_MAIN(TestDriverSettings, QCoreApplication)
#include "tst_driversettings.moc"
