// The program's conversions, case by case: profile choice, PTT mapping, the
// atof-like reading of a stored frequency, the strict reading of the field
// and the two number formats the driver and the field use.

#include "commandline.h"
#include "driverkeys.h"
#include "frequency.h"
#include "pelorintexts.h"
#include "pttport.h"
#include "testenv.h"

#include <QApplication>
#include <QtTest>
#include <cmath>
#include <limits>

using namespace pelorin;

class TestPelorinLogic : public QObject {
    Q_OBJECT
private slots:
    void profile_data();
    void profile();
    void commandLineAction_data();
    void commandLineAction();

    void pttFromText_data();
    void pttFromText();
    void pttToText_data();
    void pttToText();

    void atof_data();
    void atof();
    void storedFrequency_data();
    void storedFrequency();
    void field_data();
    void field();
    void fieldOfShownValue_data();
    void fieldOfShownValue();

    void formatForField_data();
    void formatForField();
    void formatForStore_data();
    void formatForStore();
    void rangeMessage();
};

void TestPelorinLogic::profile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("profile");
    QTest::newRow("none") << QStringList{} << keys::kClassicProfile;
    QTest::newRow("ProSetup") << QStringList{"ProSetup"} << keys::kSummitProfile;
    QTest::newRow("prosetup") << QStringList{"prosetup"} << keys::kClassicProfile;
    QTest::newRow("PRO") << QStringList{"PRO"} << keys::kClassicProfile;
    QTest::newRow("Pro inside") << QStringList{"MyProfile.ini"} << keys::kSummitProfile;
    QTest::newRow("switch /Pro") << QStringList{"/Pro"} << keys::kClassicProfile;
    QTest::newRow("switch -Pro") << QStringList{"-Pro"} << keys::kClassicProfile;
    QTest::newRow("a.txt Pro") << QStringList{"a.txt", "Pro"} << keys::kClassicProfile;
    QTest::newRow("switch before ProSetup") << QStringList{"/x", "ProSetup"}
                                            << keys::kSummitProfile;
    QTest::newRow("--version is a switch") << QStringList{"--version", "Pro"}
                                           << keys::kSummitProfile;
}

void TestPelorinLogic::profile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, profile);
    QCOMPARE(ChooseProfile(arguments), profile);
}

void TestPelorinLogic::commandLineAction_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CommandLineAction>("action");
    QTest::newRow("nothing") << QStringList{} << CommandLineAction::Run;
    QTest::newRow("profile") << QStringList{"ProSetup"} << CommandLineAction::Run;
    QTest::newRow("--help") << QStringList{"--help"} << CommandLineAction::ShowUsage;
    QTest::newRow("--version") << QStringList{"--version"} << CommandLineAction::ShowVersion;
    QTest::newRow("after a profile") << QStringList{"Pro", "--version"}
                                     << CommandLineAction::ShowVersion;
    QTest::newRow("first one wins") << QStringList{"--version", "--help"}
                                    << CommandLineAction::ShowVersion;
    QTest::newRow("-h is not help") << QStringList{"-h"} << CommandLineAction::Run;
    QTest::newRow("/? is not help") << QStringList{"/?"} << CommandLineAction::Run;
    QTest::newRow("-help is not help") << QStringList{"-help"} << CommandLineAction::Run;
}

void TestPelorinLogic::commandLineAction()
{
    QFETCH(QStringList, arguments);
    QFETCH(CommandLineAction, action);
    QCOMPARE(FindCommandLineAction(arguments), action);
}

void TestPelorinLogic::pttFromText_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("COM1") << "COM1" << 0;
    QTest::newRow("com1") << "com1" << 0;
    QTest::newRow("COM2") << "COM2" << 1;
    QTest::newRow("com2") << "com2" << 1;
    QTest::newRow("COM3") << "COM3" << 2;
    QTest::newRow("com3") << "com3" << 2;
    QTest::newRow("COM4") << "COM4" << 3;
    QTest::newRow("com4") << "com4" << 3;
    QTest::newRow("NONE") << "NONE" << kPttNone;
    QTest::newRow("none") << "none" << kPttNone;
    QTest::newRow("empty") << "" << kPttNone;
    QTest::newRow("Com1") << "Com1" << kPttNone;
    QTest::newRow("cOM1") << "cOM1" << kPttNone;
    QTest::newRow("COM5") << "COM5" << kPttNone;
    QTest::newRow("COM0") << "COM0" << kPttNone;
    QTest::newRow("LPT1") << "LPT1" << kPttNone;
    QTest::newRow("leading blank") << " COM1" << kPttNone;
    QTest::newRow("trailing blank") << "COM1 " << kPttNone;
    QTest::newRow("COM10") << "COM10" << kPttNone;
}

void TestPelorinLogic::pttFromText()
{
    QFETCH(QString, stored);
    QFETCH(int, index);
    QCOMPARE(PttIndexFromText(stored), index);
}

void TestPelorinLogic::pttToText_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("COM1") << 0 << "COM1";
    QTest::newRow("COM2") << 1 << "COM2";
    QTest::newRow("COM3") << 2 << "COM3";
    QTest::newRow("COM4") << 3 << "COM4";
    QTest::newRow("None") << 4 << "NONE";
    QTest::newRow("no button") << -1 << "NONE";
}

void TestPelorinLogic::pttToText()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QCOMPARE(PttTextFromIndex(index), text);
}

void TestPelorinLogic::atof_data()
{
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("4000") << "4000" << 4000.0;
    QTest::newRow("4000.5") << "4000.5" << 4000.5;
    QTest::newRow("-1") << "-1" << -1.0;
    QTest::newRow("11025.0") << "11025.0" << 11025.0;
    QTest::newRow("abc") << "abc" << 0.0;
    QTest::newRow("1500.25") << "1500.25" << 1500.25;
    QTest::newRow("  12abc") << "  12abc" << 12.0;
    QTest::newRow("nan") << "nan" << 0.0;
    QTest::newRow("NAN") << "NAN" << 0.0;
    QTest::newRow("inf") << "inf" << 0.0;
    QTest::newRow("-infinity") << "-infinity" << 0.0;
    QTest::newRow("0x10") << "0x10" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("all C white space") << " \t\n\v\f\r7" << 7.0;
    QTest::newRow("+5") << "+5" << 5.0;
    QTest::newRow(".5") << ".5" << 0.5;
    QTest::newRow("5.") << "5." << 5.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("lone sign") << "-" << 0.0;
    QTest::newRow("two signs") << "+-1" << 0.0;
    QTest::newRow("exponent") << "1.5e3" << 1500.0;
    QTest::newRow("exponent with sign") << "-.5E+1" << -5.0;
    QTest::newRow("exponent without digits") << "12e" << 12.0;
    QTest::newRow("exponent sign without digits") << "12e-x" << 12.0;
    QTest::newRow("decimal comma stops") << "12,5" << 12.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("blank inside stops") << "1 000" << 1.0;
    QTest::newRow("fullwidth digits") << QString::fromUtf8("\xef\xbc\x91\xef\xbc\x92") << 0.0;
    QTest::newRow("overflow") << "1e999" << inf;
    QTest::newRow("negative overflow") << "-1e999" << -inf;
    QTest::newRow("long mantissa overflow") << QString(400, QLatin1Char('9')) << inf;
    QTest::newRow("underflow") << "1e-999" << 0.0;
    QTest::newRow("underflow by fraction") << "0." + QString(400, QLatin1Char('0')) + "1" << 0.0;
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << inf;
}

void TestPelorinLogic::atof()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(AtofDecimal(text), value);
}

void TestPelorinLogic::storedFrequency_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("shown");
    QTest::newRow("4000") << "4000" << 4000.0 << "4000";
    QTest::newRow("4000.5") << "4000.5" << 0.0 << "0";
    QTest::newRow("-1") << "-1" << 0.0 << "0";
    QTest::newRow("11025.0") << "11025.0" << 0.0 << "0";
    QTest::newRow("abc") << "abc" << 0.0 << "0";
    QTest::newRow("1500.25") << "1500.25" << 1500.25 << "1500.25";
    QTest::newRow("  12abc") << "  12abc" << 12.0 << "12";
    QTest::newRow("nan") << "nan" << 0.0 << "0";
    QTest::newRow("inf") << "inf" << 0.0 << "0";
    QTest::newRow("-0") << "-0" << 0.0 << "0";
    QTest::newRow("0.00000") << "0.00000" << 0.0 << "0";
    QTest::newRow("1000.12346") << "1000.12346" << 1000.12346 << "1000.12346";
    QTest::newRow("just above") << "4000.000001" << 0.0 << "0";
    QTest::newRow("overflow") << "1e999" << 0.0 << "0";
}

void TestPelorinLogic::storedFrequency()
{
    QFETCH(QString, stored);
    QFETCH(double, hz);
    QFETCH(QString, shown);
    const double value = FrequencyFromStored(stored);
    QCOMPARE(value, hz);
    QVERIFY(!std::signbit(value));
    QCOMPARE(FormatForField(value), shown);
}

void TestPelorinLogic::field_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<FieldStatus>("status");
    QTest::addColumn<double>("value");
    const auto ok = FieldStatus::Ok;
    const auto nan = FieldStatus::NotANumber;
    const auto range = FieldStatus::OutOfRange;
    QTest::newRow("1000.123456") << "1000.123456" << ok << 1000.123456;
    QTest::newRow("blanks around") << " 2500 " << ok << 2500.0;
    QTest::newRow("tabs around") << "\t2500\t" << ok << 2500.0;
    QTest::newRow("0") << "0" << ok << 0.0;
    QTest::newRow("-0") << "-0" << ok << 0.0;
    QTest::newRow("4000") << "4000" << ok << 4000.0;
    QTest::newRow("+5") << "+5" << ok << 5.0;
    QTest::newRow(".5") << ".5" << ok << 0.5;
    QTest::newRow("exponent") << "1.5e3" << ok << 1500.0;
    QTest::newRow("12abc") << "12abc" << nan << 0.0;
    QTest::newRow("nan") << "nan" << nan << 0.0;
    QTest::newRow("inf") << "inf" << nan << 0.0;
    QTest::newRow("infinity") << "infinity" << nan << 0.0;
    QTest::newRow("0x10") << "0x10" << nan << 0.0;
    QTest::newRow("empty") << "" << nan << 0.0;
    QTest::newRow("blanks only") << "   " << nan << 0.0;
    QTest::newRow("blank inside") << "12 34" << nan << 0.0;
    QTest::newRow("decimal comma") << "1,5" << nan << 0.0;
    QTest::newRow("exponent without digits") << "12e" << nan << 0.0;
    QTest::newRow("lone point") << "." << nan << 0.0;
    QTest::newRow("4000.0001") << "4000.0001" << range << 0.0;
    QTest::newRow("-1") << "-1" << range << 0.0;
    QTest::newRow("-0.000001") << "-0.000001" << range << 0.0;
    QTest::newRow("overflow") << "1e999" << range << 0.0;
}

void TestPelorinLogic::field()
{
    QFETCH(QString, text);
    QFETCH(FieldStatus, status);
    QFETCH(double, value);
    const FieldValue read = ReadFrequencyField(text);
    QCOMPARE(read.status, status);
    if (status == FieldStatus::Ok) {
        QCOMPARE(read.value, value);
        QVERIFY(!std::signbit(read.value));
    }
}

// Whatever the field shows for a value must read back as that same value,
// or OK right away would change the frequency.
void TestPelorinLogic::fieldOfShownValue_data()
{
    QTest::addColumn<double>("hz");
    for (double hz : {0.0, 1e-300, 1e-5, 0.1, 1.0 / 3.0, 1000.12346, 1500.25, 3999.999999999999,
                      4000.0})
        QTest::newRow(qPrintable(QString::number(hz, 'g', 17))) << hz;
}

void TestPelorinLogic::fieldOfShownValue()
{
    QFETCH(double, hz);
    const FieldValue read = ReadFrequencyField(FormatForField(hz));
    QCOMPARE(read.status, FieldStatus::Ok);
    QCOMPARE(FormatForStore(read.value), FormatForStore(hz));
    QVERIFY(std::abs(read.value - hz) <= std::abs(hz) * 1e-14);
}

void TestPelorinLogic::formatForField_data()
{
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0.0 << "0";
    QTest::newRow("1500.25") << 1500.25 << "1500.25";
    QTest::newRow("4000") << 4000.0 << "4000";
    QTest::newRow("1000.12346") << 1000.12346 << "1000.12346";
    QTest::newRow("one tenth") << 0.1 << "0.1";
    QTest::newRow("one third") << 1.0 / 3.0 << "0.333333333333333";
    QTest::newRow("15 significant digits") << 1234.56789012345678 << "1234.56789012346";
    QTest::newRow("small goes scientific") << 0.00001 << "1e-05";
    QTest::newRow("0.0001 stays fixed") << 0.0001 << "0.0001";
}

void TestPelorinLogic::formatForField()
{
    QFETCH(double, hz);
    QFETCH(QString, text);
    QCOMPARE(FormatForField(hz), text);
}

void TestPelorinLogic::formatForStore_data()
{
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0.0 << "0.00000";
    QTest::newRow("1000") << 1000.0 << "1000.00000";
    QTest::newRow("4000") << 4000.0 << "4000.00000";
    QTest::newRow("1500.25") << 1500.25 << "1500.25000";
    QTest::newRow("rounded to five decimals") << 1000.123456 << "1000.12346";
    QTest::newRow("rounds down") << 1000.123454 << "1000.12345";
    QTest::newRow("tiny") << 0.000004 << "0.00000";
    QTest::newRow("2.5") << 2.5 << "2.50000";
}

void TestPelorinLogic::formatForStore()
{
    QFETCH(double, hz);
    QFETCH(QString, text);
    QCOMPARE(FormatForStore(hz), text);
}

void TestPelorinLogic::rangeMessage()
{
    QCOMPARE(texts::EnterNumberBetween(kMinFrequency, kMaxFrequency),
             QStringLiteral("Please enter a number between 0 and 4000."));
}

VARKEL_TEST_MAIN(TestPelorinLogic, QApplication)
#include "tst_pelorinlogic.moc"
