// The varicode table: bytes 0..127 as published with the mode (here in the
// published listing's form, each word left-aligned in 16 bits), the extension
// for 128..255, and decoding.

#include "psk31/varicode.h"

#include <QtTest>
#include <set>
#include <string>

namespace {

constexpr uint16_t kPublished[128] = {
    0xAAC0, 0xB6C0, 0xBB40, 0xDDC0, 0xBAC0, 0xD7C0, 0xBBC0, 0xBF40, 0xBFC0, 0xEF00, 0xE800, 0xDBC0, 0xB740,
    0xF800, 0xDD40, 0xEAC0, 0xBDC0, 0xBD40, 0xEB40, 0xEBC0, 0xD6C0, 0xDAC0, 0xDB40, 0xD5C0, 0xDEC0, 0xDF40,
    0xEDC0, 0xD540, 0xD740, 0xEEC0, 0xBEC0, 0xDFC0, 0x8000, 0xFF80, 0xAF80, 0xFA80, 0xED80, 0xB540, 0xAEC0,
    0xBF80, 0xFB00, 0xF700, 0xB780, 0xEF80, 0xEA00, 0xD400, 0xAE00, 0xD780, 0xB700, 0xBD00, 0xED00, 0xFF00,
    0xBB80, 0xAD80, 0xB580, 0xD680, 0xD580, 0xDB80, 0xF500, 0xDE80, 0xF680, 0xAA00, 0xEB80, 0xABC0, 0xAF40,
    0xFA00, 0xEB00, 0xAD00, 0xB500, 0xEE00, 0xDB00, 0xFD00, 0xAA80, 0xFE00, 0xFE80, 0xBE80, 0xD700, 0xBB00,
    0xDD00, 0xAB00, 0xD500, 0xEE80, 0xAF00, 0xDE00, 0xDA00, 0xAB80, 0xDA80, 0xAE80, 0xBA80, 0xBD80, 0xAB40,
    0xFB80, 0xF780, 0xFD80, 0xAFC0, 0xB680, 0xB7C0, 0xB000, 0xBE00, 0xBC00, 0xB400, 0xC000, 0xF400, 0xB600,
    0xAC00, 0xD000, 0xF580, 0xBF00, 0xD800, 0xEC00, 0xF000, 0xE000, 0xFC00, 0xDF80, 0xA800, 0xB800, 0xA000,
    0xDC00, 0xF600, 0xD600, 0xDF00, 0xBA00, 0xEA80, 0xADC0, 0xDD80, 0xAD40, 0xB5C0, 0xED40,
};

std::string Bits(uint16_t word)
{
    std::string bits;
    for (int b = 15; b >= 0; --b)
        bits += (word >> b) & 1 ? '1' : '0';
    return bits.substr(0, bits.find_last_of('1') + 1);
}

} // namespace

class TestVaricode : public QObject {
    Q_OBJECT
private slots:
    void matchesThePublishedTable()
    {
        for (int byte = 0; byte < 128; ++byte)
            QVERIFY2(std::string(psk31::varicode::code(uint8_t(byte))) == Bits(kPublished[byte]),
                     qPrintable(QString::number(byte)));
    }

    // Every byte has a word of its own that keeps the rules that make the code
    // self-delimiting; the upper half takes the free words shortest first.
    void extensionCoversEveryByte()
    {
        std::set<std::string> words;
        size_t previousLength = 0;
        for (int byte = 0; byte < 256; ++byte) {
            const std::string word(psk31::varicode::code(uint8_t(byte)));
            QVERIFY(!word.empty());
            QCOMPARE(word.front(), '1');
            QCOMPARE(word.back(), '1');
            QVERIFY(word.find("00") == std::string::npos);
            QVERIFY2(words.insert(word).second, word.c_str());
            if (byte >= 128) {
                QVERIFY(word.size() >= previousLength);
                previousLength = word.size();
            }
        }
        QCOMPARE(std::string(psk31::varicode::code(128)), std::string("1110111101"));
        QCOMPARE(std::string(psk31::varicode::code(143)), std::string("10101010101"));
        QCOMPARE(psk31::varicode::code(255).size(), size_t(psk31::varicode::kMaxLength));
    }

    void decodesWordsAndRejectsOthers()
    {
        for (int byte = 0; byte < 256; ++byte)
            QCOMPARE(psk31::varicode::decode(psk31::varicode::code(uint8_t(byte))), byte);
        QCOMPARE(psk31::varicode::decode(""), -1);
        QCOMPARE(psk31::varicode::decode("100"), -1);
        QCOMPARE(psk31::varicode::decode("1111111111111"), -1);
    }
};

QTEST_GUILESS_MAIN(TestVaricode)
#include "tst_varicode.moc"
