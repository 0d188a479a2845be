// Windows-1252 both ways: every byte is one character and comes back as itself.

#include "codepage.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QSet>
#include <QTest>

class TestCodePage : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTripsThroughOneDistinctCharacter()
    {
        QSet<char16_t> seen;
        for (int b = 0; b < 256; ++b) {
            const QChar ch = fw::codepage::ToChar(static_cast<unsigned char>(b));
            QVERIFY2(!seen.contains(ch.unicode()), qPrintable(QString::number(b, 16)));
            seen.insert(ch.unicode());
            QCOMPARE(fw::codepage::ToByte(ch), std::optional<unsigned char>(b));
        }
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QString text;
        for (char b : std::as_const(all))
            text += fw::codepage::ToChar(static_cast<unsigned char>(b));
        QCOMPARE(text.size(), 256);
        QCOMPARE(fw::codepage::FromUnicode(text), all);
    }

    void characters_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("unicode");
        QTest::newRow("euro") << 0x80 << 0x20AC;
        QTest::newRow("undefined 81") << 0x81 << 0x0081;
        QTest::newRow("undefined 8d") << 0x8D << 0x008D;
        QTest::newRow("undefined 8f") << 0x8F << 0x008F;
        QTest::newRow("undefined 90") << 0x90 << 0x0090;
        QTest::newRow("undefined 9d") << 0x9D << 0x009D;
        QTest::newRow("left double quote") << 0x93 << 0x201C;
        QTest::newRow("trade mark") << 0x99 << 0x2122;
        QTest::newRow("e acute") << 0xE9 << 0x00E9;
        QTest::newRow("y diaeresis") << 0xFF << 0x00FF;
        QTest::newRow("zero") << 0x00 << 0x0000;
    }
    void characters()
    {
        QFETCH(int, byte);
        QFETCH(int, unicode);
        QCOMPARE(int(fw::codepage::ToChar(static_cast<unsigned char>(byte)).unicode()), unicode);
    }

    void charactersWithoutAByteAreLeftOut()
    {
        QCOMPARE(fw::codepage::ToByte(QChar(0x0100)), std::nullopt);
        QCOMPARE(fw::codepage::ToByte(QChar(0x0085)), std::nullopt);   // C1 but defined as ellipsis
        QCOMPARE(fw::codepage::FromUnicode(QStringLiteral("a\u4e2db\u2026")), QByteArray("ab\x85"));
    }
};

VARKEL_TEST_MAIN(TestCodePage, QCoreApplication)
#include "tst_codepage.moc"
