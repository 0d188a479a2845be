// The lock-key lights on a real X display (the test runs under xvfb-run):
// pressing Caps Lock is heard without anyone asking the server again.

#include "lockkeys.h"
#include "testenv.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

bool PressKey(const char* key)
{
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(key)}) == 0;
}

} // namespace

class TestLockKeys : public QObject {
    Q_OBJECT
private slots:
    void followsTheLightsAsTheyChange()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        fw::LockKeys keys;
        QVERIFY(keys.State().has_value());
        const fw::LockKeyState before = *keys.State();
        QSignalSpy changed(&keys, &fw::LockKeys::changed);

        QVERIFY(PressKey("Caps_Lock"));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(keys.State()->caps, !before.caps);
        QCOMPARE(keys.State()->num, before.num);

        QVERIFY(PressKey("Num_Lock"));
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(keys.State()->num, !before.num);

        QVERIFY(PressKey("Caps_Lock"));
        QVERIFY(PressKey("Num_Lock"));
        QTRY_COMPARE(*keys.State(), before);
    }
};

VARKEL_TEST_MAIN(TestLockKeys, QApplication)
#include "tst_lockkeys.moc"
