// Whole runs of the program against real settings files: the dialog is
// driven through its object names while it runs modally, and what reached the
// store is read back from the file the driver reads.

#include "driverkeys.h"
#include "helpwindow.h"
#include "pelorinapp.h"
#include "pelorindlg.h"
#include "scriptedprompter.h"
#include "settingsstore.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

namespace keys = pelorin::keys;

namespace {

constexpr int kWaitMs = 5000;
constexpr int kWatchdogMs = 15000;

const QStringList kPttButtons{"pttCom1", "pttCom2", "pttCom3", "pttCom4", "pttNone"};

template <typename T>
T* child(QWidget* dialog, const char* name)
{
    return dialog ? dialog->findChild<T*>(QLatin1String(name)) : nullptr;
}

QString checkedPtt(QWidget* dialog)
{
    QStringList checked;
    for (const QString& name : kPttButtons) {
        auto* button = dialog->findChild<QRadioButton*>(name);
        if (button && button->isChecked())
            checked << name;
    }
    return checked.join(QLatin1Char('+'));
}

void click(QWidget* dialog, const char* name)
{
    if (auto* button = child<QAbstractButton>(dialog, name))
        QTest::mouseClick(button, Qt::LeftButton);
}

void typeFrequency(QWidget* dialog, const QString& text)
{
    auto* field = child<QLineEdit>(dialog, "centerFrequencyEdit");
    if (!field)
        return;
    field->setFocus();
    field->clear();
    QTest::keyClicks(field, text);
}

// The values under [Quillet] exactly as the file holds them, unparsed.
QMap<QString, QString> storedTexts(const QString& profile)
{
    QMap<QString, QString> values;
    QFile file(SettingsFilePath(profile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    bool inSection = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + keys::kSection + QLatin1Char(']');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inSection && equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    return values;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An invalid variant stands for a value that is not stored at all.
void store(const QString& profile, const QString& key, const QVariant& value)
{
    if (!value.isValid())
        return;
    const fw::SettingsStore settings(profile);
    const bool written = value.typeId() == QMetaType::Int
        ? settings.WriteProfileInt(keys::kSection, key, value.toInt())
        : settings.WriteProfileString(keys::kSection, key, value.toString());
    QVERIFY(written);
}

} // namespace

class TestPelorin : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyStoreEnterRightAway();
    void ptt_data();
    void ptt();
    void storedFrequency_data();
    void storedFrequency();
    void typedFrequency_data();
    void typedFrequency();
    void reverseOutputChannel_data();
    void reverseOutputChannel();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void profile_data();
    void profile();
    void unwritableStore_data();
    void unwritableStore();
    void retryAfterFailedSave();
    void aboutBox();
    void helpOnF1_data();
    void helpOnF1();
    void dialogTemplate();
    void noPttButton();

private:
    int runProgram(const QStringList& arguments, const std::function<void(QWidget*)>& act);
    void whenShown(const QString& name, const std::function<void(QWidget*)>& act);

    std::unique_ptr<ScriptedPrompter> m_prompter;
    int m_timeouts = 0;
    bool m_watchdogFired = false;
};

void TestPelorin::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_timeouts = 0;
    m_watchdogFired = false;
    for (const QString& profile : {keys::kClassicProfile, keys::kSummitProfile}) {
        const QString path = SettingsFilePath(profile);
        QFile::setPermissions(QFileInfo(path).absolutePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

void TestPelorin::cleanup()
{
    QCOMPARE(m_timeouts, 0);
    QVERIFY2(!m_watchdogFired, "a dialog stayed open and had to be closed by the watchdog");
}

void TestPelorin::whenShown(const QString& name, const std::function<void(QWidget*)>& act)
{
    auto* timer = new QTimer(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    connect(timer, &QTimer::timeout, this, [this, timer, clock, name, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(widget);
                return;
            }
        }
        if (clock->elapsed() > kWaitMs) {
            timer->stop();
            timer->deleteLater();
            ++m_timeouts;
        }
    });
    timer->start(5);
}

int TestPelorin::runProgram(const QStringList& arguments,
                            const std::function<void(QWidget*)>& act)
{
    whenShown(QStringLiteral("pelorinDialog"), act);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] {
        m_watchdogFired = true;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                dialog->reject();
    });
    watchdog.start(kWatchdogMs);
    CPelorinApp app(arguments, *m_prompter);
    return app.Run();
}

void TestPelorin::emptyStoreEnterRightAway()
{
    QString ptt, field, focus;
    bool reverse = true;
    const int status = runProgram({}, [&](QWidget* dialog) {
        ptt = checkedPtt(dialog);
        field = child<QLineEdit>(dialog, "centerFrequencyEdit")->text();
        reverse = child<QCheckBox>(dialog, "reverseOutputChannelCheck")->isChecked();
        focus = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    });
    QCOMPARE(status, 0);
    QCOMPARE(ptt, QStringLiteral("pttNone"));
    QCOMPARE(field, QStringLiteral("0"));
    QVERIFY(!reverse);
    QCOMPARE(focus, QStringLiteral("okButton"));
    const QMap<QString, QString> expected{{keys::kPtt, "NONE"},
                                          {keys::kIf, "0.00000"},
                                          {keys::kReverseOutputChannel, "0"}};
    QCOMPARE(storedTexts(keys::kClassicProfile), expected);
    QVERIFY(m_prompter->asked.isEmpty());
}

void TestPelorin::ptt_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QString>("written");
    QTest::newRow("missing") << QVariant() << "pttNone" << "NONE";
    QTest::newRow("empty") << QVariant("") << "pttNone" << "NONE";
    QTest::newRow("COM1") << QVariant("COM1") << "pttCom1" << "COM1";
    QTest::newRow("com1") << QVariant("com1") << "pttCom1" << "COM1";
    QTest::newRow("COM2") << QVariant("COM2") << "pttCom2" << "COM2";
    QTest::newRow("com3") << QVariant("com3") << "pttCom3" << "COM3";
    QTest::newRow("COM4") << QVariant("COM4") << "pttCom4" << "COM4";
    QTest::newRow("com4") << QVariant("com4") << "pttCom4" << "COM4";
    QTest::newRow("NONE") << QVariant("NONE") << "pttNone" << "NONE";
    QTest::newRow("none") << QVariant("none") << "pttNone" << "NONE";
    QTest::newRow("Com3") << QVariant("Com3") << "pttNone" << "NONE";
    QTest::newRow("COM5") << QVariant("COM5") << "pttNone" << "NONE";
    QTest::newRow("LPT1") << QVariant("LPT1") << "pttNone" << "NONE";
}

void TestPelorin::ptt()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, ticked);
    QFETCH(QString, written);
    store(keys::kClassicProfile, keys::kPtt, stored);
    QString shown;
    runProgram({}, [&](QWidget* dialog) {
        shown = checkedPtt(dialog);
        click(dialog, "okButton");
    });
    QCOMPARE(shown, ticked);
    QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kPtt), written);
}

void TestPelorin::storedFrequency_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");
    QTest::newRow("missing") << QVariant() << "0" << "0.00000";
    QTest::newRow("4000") << QVariant("4000") << "4000" << "4000.00000";
    QTest::newRow("4000.5") << QVariant("4000.5") << "0" << "0.00000";
    QTest::newRow("-1") << QVariant("-1") << "0" << "0.00000";
    QTest::newRow("11025.0") << QVariant("11025.0") << "0" << "0.00000";
    QTest::newRow("abc") << QVariant("abc") << "0" << "0.00000";
    QTest::newRow("1500.25") << QVariant("1500.25") << "1500.25" << "1500.25000";
    QTest::newRow("  12abc") << QVariant("  12abc") << "12" << "12.00000";
    QTest::newRow("nan") << QVariant("nan") << "0" << "0.00000";
}

void TestPelorin::storedFrequency()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    store(keys::kClassicProfile, keys::kIf, stored);
    QString field;
    runProgram({}, [&](QWidget* dialog) {
        field = child<QLineEdit>(dialog, "centerFrequencyEdit")->text();
        click(dialog, "okButton");
    });
    QCOMPARE(field, shown);
    QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kIf), written);
}

void TestPelorin::typedFrequency_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<QString>("written");
    const QString number = QStringLiteral("Please enter a number.");
    const QString range = QStringLiteral("Please enter a number between 0 and 4000.");
    QTest::newRow("1000.123456") << "1000.123456" << "" << "1000.12346";
    QTest::newRow(" 2500 ") << " 2500 " << "" << "2500.00000";
    QTest::newRow("4000") << "4000" << "" << "4000.00000";
    QTest::newRow("0") << "0" << "" << "0.00000";
    QTest::newRow("12abc") << "12abc" << number << "";
    QTest::newRow("nan") << "nan" << number << "";
    QTest::newRow("inf") << "inf" << number << "";
    QTest::newRow("0x10") << "0x10" << number << "";
    QTest::newRow("empty") << "" << number << "";
    QTest::newRow("decimal comma") << "1500,5" << number << "";
    QTest::newRow("4000.0001") << "4000.0001" << range << "";
    QTest::newRow("-1") << "-1" << range << "";
}

void TestPelorin::typedFrequency()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, written);
    // Values that differ from what OK would write, to see that nothing was.
    store(keys::kClassicProfile, keys::kPtt, "com2");
    store(keys::kClassicProfile, keys::kIf, "1234.5");
    const QByteArray before = fileBytes(SettingsFilePath(keys::kClassicProfile));

    bool stayedOpen = false;
    QString selected, fieldText, focusName;
    const int status = runProgram({}, [&](QWidget* dialog) {
        typeFrequency(dialog, typed);
        click(dialog, "okButton");
        stayedOpen = dialog->isVisible();
        if (!stayedOpen)
            return;
        auto* field = child<QLineEdit>(dialog, "centerFrequencyEdit");
        selected = field->selectedText();
        fieldText = field->text();
        focusName = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        click(dialog, "cancelButton");
    });
    QCOMPARE(status, 0);
    if (message.isEmpty()) {
        QVERIFY(!stayedOpen);
        QVERIFY(m_prompter->asked.isEmpty());
        QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kIf), written);
        QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kPtt), QStringLiteral("COM2"));
        return;
    }
    QVERIFY(stayedOpen);
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().text, message);
    QCOMPARE(fieldText, typed);
    QCOMPARE(selected, typed);
    QCOMPARE(focusName, QStringLiteral("centerFrequencyEdit"));
    QCOMPARE(fileBytes(SettingsFilePath(keys::kClassicProfile)), before);
}

void TestPelorin::reverseOutputChannel_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QString>("written");
    QTest::newRow("missing") << QVariant() << false << false << "0";
    QTest::newRow("-1") << QVariant(-1) << false << false << "0";
    QTest::newRow("0") << QVariant(0) << false << false << "0";
    QTest::newRow("1") << QVariant(1) << true << false << "1";
    QTest::newRow("2") << QVariant(2) << false << false << "0";
    QTest::newRow("3") << QVariant(3) << false << false << "0";
    QTest::newRow("0 ticked by the operator") << QVariant(0) << false << true << "1";
    QTest::newRow("1 cleared by the operator") << QVariant(1) << true << true << "0";
    QTest::newRow("2 ticked by the operator") << QVariant(2) << false << true << "1";
}

void TestPelorin::reverseOutputChannel()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, ticked);
    QFETCH(bool, toggle);
    QFETCH(QString, written);
    store(keys::kClassicProfile, keys::kReverseOutputChannel, stored);
    bool shown = !ticked;
    runProgram({}, [&](QWidget* dialog) {
        shown = child<QCheckBox>(dialog, "reverseOutputChannelCheck")->isChecked();
        if (toggle)
            click(dialog, "reverseOutputChannelCheck");
        click(dialog, "okButton");
    });
    QCOMPARE(shown, ticked);
    QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kReverseOutputChannel), written);
}

void TestPelorin::cancelWritesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("close box") << "close";
}

void TestPelorin::cancelWritesNothing()
{
    QFETCH(QString, how);
    store(keys::kClassicProfile, keys::kPtt, "com1");
    store(keys::kClassicProfile, keys::kIf, "abc");
    store(keys::kClassicProfile, keys::kReverseOutputChannel, 2);
    const QString path = SettingsFilePath(keys::kClassicProfile);
    const QByteArray before = fileBytes(path);
    QVERIFY(!before.isEmpty());

    const int status = runProgram({}, [&](QWidget* dialog) {
        // Changes the operator then abandons.
        click(dialog, "pttCom3");
        typeFrequency(dialog, "1000");
        click(dialog, "reverseOutputChannelCheck");
        if (how == QLatin1String("cancel"))
            click(dialog, "cancelButton");
        else if (how == QLatin1String("escape"))
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    QCOMPARE(status, 0);
    QCOMPARE(fileBytes(path), before);
    QVERIFY(!QFile::exists(SettingsFilePath(keys::kSummitProfile)));
}

void TestPelorin::profile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("untouched");
    QTest::newRow("ProSetup") << QStringList{"ProSetup"} << keys::kSummitProfile
                              << keys::kClassicProfile;
    QTest::newRow("prosetup") << QStringList{"prosetup"} << keys::kClassicProfile
                              << keys::kSummitProfile;
    QTest::newRow("/Pro") << QStringList{"/Pro"} << keys::kClassicProfile << keys::kSummitProfile;
    QTest::newRow("a.txt Pro") << QStringList{"a.txt", "Pro"} << keys::kClassicProfile
                               << keys::kSummitProfile;
}

void TestPelorin::profile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, edited);
    QFETCH(QString, untouched);
    // Each tree holds its own port, so the dialog shows which one it read.
    store(edited, keys::kPtt, "COM4");
    store(untouched, keys::kPtt, "COM1");
    const QByteArray untouchedBefore = fileBytes(SettingsFilePath(untouched));
    QString shown;
    runProgram(arguments, [&](QWidget* dialog) {
        shown = checkedPtt(dialog);
        click(dialog, "reverseOutputChannelCheck");
        click(dialog, "okButton");
    });
    QCOMPARE(shown, QStringLiteral("pttCom4"));
    QCOMPARE(storedTexts(edited).value(keys::kReverseOutputChannel), QStringLiteral("1"));
    QCOMPARE(fileBytes(SettingsFilePath(untouched)), untouchedBefore);
    QVERIFY(QFileInfo(SettingsFilePath(edited)).fileName().startsWith(edited));
}

void TestPelorin::unwritableStore_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("folder in place of the file") << "folder";
    QTest::newRow("read-only file") << "read-only file";
    QTest::newRow("read-only folder") << "read-only folder";
}

void TestPelorin::unwritableStore()
{
    QFETCH(QString, how);
    const QString path = SettingsFilePath(keys::kClassicProfile);
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(QDir().mkpath(folder));
    if (how == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (how == QLatin1String("read-only file")) {
        store(keys::kClassicProfile, keys::kPtt, "COM1");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        QFile probe(path);
        if (probe.open(QIODevice::ReadWrite))
            QSKIP("file permissions do not stop this user (root?) from writing");
    } else {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(folder + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("folder permissions do not stop this user (root?) from writing");
        }
    }
    const QByteArray before = fileBytes(path);

    bool stayedOpen = false;
    const int status = runProgram({}, [&](QWidget* dialog) {
        click(dialog, "pttCom2");
        click(dialog, "okButton");
        stayedOpen = dialog->isVisible();
        click(dialog, "cancelButton");
    });
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    QVERIFY(stayedOpen);
    QCOMPARE(status, CPelorinApp::kExitNotSaved);
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY2(m_prompter->asked.first().text.contains(path),
             qPrintable(m_prompter->asked.first().text));
    QCOMPARE(m_prompter->asked.first().icon, fw::MsgIcon::Stop);
    QCOMPARE(fileBytes(path), before);
}

void TestPelorin::retryAfterFailedSave()
{
    const QString path = SettingsFilePath(keys::kClassicProfile);
    QVERIFY(QDir().mkpath(path));
    bool openAfterFirstOk = false;
    bool openAfterSecondOk = true;
    const int status = runProgram({}, [&](QWidget* dialog) {
        click(dialog, "pttCom3");
        click(dialog, "okButton");
        openAfterFirstOk = dialog->isVisible();
        QDir(path).removeRecursively(); // the operator mends the store
        click(dialog, "okButton");
        openAfterSecondOk = dialog->isVisible();
        if (openAfterSecondOk)
            click(dialog, "cancelButton");
    });
    QVERIFY(openAfterFirstOk);
    QVERIFY(!openAfterSecondOk);
    QCOMPARE(status, 0);
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kPtt), QStringLiteral("COM3"));
}

void TestPelorin::aboutBox()
{
    store(keys::kClassicProfile, keys::kIf, "1500.25");
    QString title, version, notice, fieldAfter, aboutActionText;
    bool hasIcon = false, aboutClosed = false, mainOpenAfter = false;
    runProgram({}, [&](QWidget* dialog) {
        for (QAction* action : dialog->actions())
            aboutActionText += action->text();
        whenShown(QStringLiteral("aboutDialog"), [&](QWidget* about) {
            title = about->windowTitle();
            version = child<QLabel>(about, "versionLabel")->text();
            notice = child<QLabel>(about, "noticeLabel")->text();
            hasIcon = !child<QLabel>(about, "aboutIcon")->pixmap().isNull();
            click(about, "aboutOkButton");
            aboutClosed = !about->isVisible();
        });
        click(dialog, "aboutButton"); // returns once the About box has closed
        mainOpenAfter = dialog->isVisible();
        fieldAfter = child<QLineEdit>(dialog, "centerFrequencyEdit")->text();
        click(dialog, "okButton");
    });
    QCOMPARE(aboutActionText, QStringLiteral("&About Pelorin..."));
    QCOMPARE(title, QStringLiteral("About Pelorin"));
    QCOMPARE(version, QStringLiteral("Pelorin Version 1.0"));
    QVERIFY(!notice.isEmpty());
    QVERIFY(hasIcon);
    QVERIFY(aboutClosed);
    QVERIFY(mainOpenAfter);
    QCOMPARE(fieldAfter, QStringLiteral("1500.25"));
    QCOMPARE(storedTexts(keys::kClassicProfile).value(keys::kIf), QStringLiteral("1500.25000"));
}

void TestPelorin::helpOnF1_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("frequency") << "centerFrequencyEdit" << "frequency";
    QTest::newRow("PTT") << "pttCom2" << "ptt";
    QTest::newRow("reverse") << "reverseOutputChannelCheck" << "reverse";
    QTest::newRow("OK") << "okButton" << "";
}

void TestPelorin::helpOnF1()
{
    QFETCH(QString, focus);
    QFETCH(QString, fragment);
    bool active = false, helpShown = false;
    QString page, text;
    runProgram({}, [&](QWidget* dialog) {
        dialog->activateWindow();
        active = QTest::qWaitForWindowActive(dialog, kWaitMs);
        auto* target = dialog->findChild<QWidget*>(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_F1);
        if (auto* help = dialog->findChild<fw::HelpWindow*>()) {
            helpShown = help->isVisible();
            page = help->CurrentPage();
            text = help->Browser()->toPlainText();
        }
        click(dialog, "cancelButton");
    });
    QVERIFY(active);
    QVERIFY(helpShown);
    QCOMPARE(QUrl(page).fragment(), fragment);
    QVERIFY2(text.contains(QLatin1String("Center Frequency [Hz]")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("PTT control")));
    QVERIFY(text.contains(QLatin1String("Reverse Output Channel")));
}

void TestPelorin::dialogTemplate()
{
    QString caption;
    bool hasIcon = false, buddyIsField = false, exclusive = false;
    QStringList tabOrder, unnamed, groupButtons;
    QString labelText, groupTitle, checkText;
    runProgram({}, [&](QWidget* dialog) {
        caption = dialog->windowTitle();
        hasIcon = !dialog->windowIcon().isNull();
        auto* label = child<QLabel>(dialog, "centerFrequencyLabel");
        labelText = label->text();
        buddyIsField = label->buddy() == child<QLineEdit>(dialog, "centerFrequencyEdit");
        groupTitle = dialog->findChild<QGroupBox*>(QStringLiteral("pttGroup"))->title();
        checkText = child<QCheckBox>(dialog, "reverseOutputChannelCheck")->text();
        auto* group = child<QRadioButton>(dialog, "pttCom1")->group();
        exclusive = group && group->exclusive();
        if (group)
            for (QAbstractButton* button : group->buttons())
                groupButtons << button->objectName();

        QWidget* start = child<QWidget>(dialog, "okButton");
        QWidget* widget = start;
        do {
            if (widget->focusPolicy() & Qt::TabFocus)
                tabOrder << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget && widget != start && tabOrder.size() < 20);

        for (QWidget* control : dialog->findChildren<QWidget*>()) {
            const bool isControl = qobject_cast<QAbstractButton*>(control)
                || qobject_cast<QLineEdit*>(control) || qobject_cast<QLabel*>(control)
                || qobject_cast<QGroupBox*>(control);
            if (isControl && control->accessibleName().isEmpty())
                unnamed << control->objectName();
        }
        click(dialog, "cancelButton");
    });
    QCOMPARE(caption, QStringLiteral("Pelorin"));
    QVERIFY(hasIcon);
    QCOMPARE(labelText, QStringLiteral("Center Frequency [Hz]:"));
    QVERIFY(buddyIsField);
    QCOMPARE(groupTitle, QStringLiteral("PTT control"));
    QCOMPARE(checkText, QStringLiteral("Reverse Output Channel"));
    QVERIFY(exclusive);
    groupButtons.sort();
    QCOMPARE(groupButtons, QStringList({"pttCom1", "pttCom2", "pttCom3", "pttCom4", "pttNone"}));
    const QStringList expectedOrder{"okButton", "cancelButton", "centerFrequencyEdit",
                                    "pttCom1",  "pttCom2",      "pttCom3",
                                    "pttCom4",  "pttNone",      "reverseOutputChannelCheck",
                                    "aboutButton"};
    QCOMPARE(tabOrder, expectedOrder);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));
}

// A dialog filled with no PTT index ticks nothing, yet its buttons stay one
// exclusive group and the read-back yields whichever the operator ticks.
void TestPelorin::noPttButton()
{
    CPelorinDlg dialog(*m_prompter);
    pelorin::DriverValues values;
    values.ptt = 3;
    dialog.SetValues(values);
    QCOMPARE(checkedPtt(&dialog), QStringLiteral("pttCom4"));
    values.ptt = -1;
    dialog.SetValues(values);
    QCOMPARE(checkedPtt(&dialog), QString());
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Values().ptt, -1);
    child<QRadioButton>(&dialog, "pttCom2")->click();
    child<QRadioButton>(&dialog, "pttNone")->click();
    QCOMPARE(checkedPtt(&dialog), QStringLiteral("pttNone"));
    dialog.accept();
    QCOMPARE(dialog.Values().ptt, 4);
}

VARKEL_TEST_MAIN(TestPelorin, QApplication)
#include "tst_pelorin.moc"
