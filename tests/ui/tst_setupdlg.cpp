// The Setup dialog driven as the operator drives it, with the settings file
// read back from disk after every run.

// Mouse clicks go through the window system layer, so a window blocked by a
// modal dialog really ignores them.
#define QTEST_QPA_MOUSE_HANDLING

#include "helpwindow.h"
#include "scriptedprompter.h"
#include "settingsstore.h"
#include "setupdlg.h"
#include "testenv.h"
#include "varkelhelp.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTextBrowser>
#include <QTextBlock>
#include <QtTest>
#include <memory>

namespace {

const QString kApp = QStringLiteral("Varkel");
constexpr int kWaitMs = 5000;

// The bytes of the settings file, or a marker when there is none, so that
// "nothing written" compares the whole file.
QByteArray SettingsBytes()
{
    QFile file(SettingsFilePath(kApp));
    if (!file.exists())
        return QByteArrayLiteral("<no settings file>");
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable settings file>");
    return file.readAll();
}

// One value of section "Setup" as the file on disk holds it; invalid when absent.
QVariant StoredSetup(const QString& key)
{
    QSettings file(SettingsFilePath(kApp), QSettings::IniFormat);
    return file.value(QStringLiteral("Setup/") + key);
}

void Seed(const QString& key, const QVariant& value)
{
    const fw::SettingsStore store(kApp);
    if (value.typeId() == QMetaType::Int)
        QVERIFY(store.WriteProfileInt(QStringLiteral("Setup"), key, value.toInt()));
    else
        QVERIFY(store.WriteProfileString(QStringLiteral("Setup"), key, value.toString()));
}

template <class T> T* Find(QWidget* dlg, const char* name)
{
    return dlg->findChild<T*>(QString::fromLatin1(name));
}

// Types text key by key, one key event per character (surrogate pairs
// included), as a keyboard with any layout would deliver it.
void Type(QWidget* widget, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString one(text.at(i));
        if (text.at(i).isHighSurrogate() && i + 1 < text.size())
            one += text.at(++i);
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, one, Qt::NoModifier);
    }
}

// Replaces the text of a field as a user would: select all, delete, type.
void Retype(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    Type(edit, text);
}

struct Fields {
    QString host, port, f9, f10, f11, f12;
    bool cr9, cr10, cr11, cr12;
    bool operator==(const Fields&) const = default;
};

Fields Read(QWidget* dlg)
{
    return {Find<QLineEdit>(dlg, "hostEdit")->text(),     Find<QLineEdit>(dlg, "portEdit")->text(),
            Find<QLineEdit>(dlg, "f9MacroEdit")->text(),  Find<QLineEdit>(dlg, "f10MacroEdit")->text(),
            Find<QLineEdit>(dlg, "f11MacroEdit")->text(), Find<QLineEdit>(dlg, "f12MacroEdit")->text(),
            Find<QCheckBox>(dlg, "f9CrCheck")->isChecked(), Find<QCheckBox>(dlg, "f10CrCheck")->isChecked(),
            Find<QCheckBox>(dlg, "f11CrCheck")->isChecked(), Find<QCheckBox>(dlg, "f12CrCheck")->isChecked()};
}

// Where the link to `href` sits in a help page, in viewport coordinates.
QPoint LinkPosition(QTextBrowser* browser, const QString& href)
{
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().anchorHref() == href) {
                QTextCursor cursor(browser->document());
                cursor.setPosition(fragment.position() + 1);
                return browser->cursorRect(cursor).center();
            }
        }
    }
    return {};
}

} // namespace

class TestSetupDlg : public QObject {
    Q_OBJECT

private:
    // Opens a fresh dialog the way the Setup command does and waits until it shows.
    std::unique_ptr<CSetupDlg> Open(fw::HelpWindow* help = nullptr, QWidget* parent = nullptr)
    {
        auto dlg = std::make_unique<CSetupDlg>(m_prompter, help, parent);
        dlg->setWindowModality(Qt::ApplicationModal);
        dlg->show();
        if (!QTest::qWaitForWindowActive(dlg.get(), kWaitMs))
            return nullptr;
        return dlg;
    }

    ScriptedPrompter m_prompter;

private slots:
    void init()
    {
        ClearSettings(kApp);
        QFile::remove(SettingsFilePath(kApp));
        m_prompter = ScriptedPrompter();
    }

    void firstRunShowsDefaults()
    {
        auto dlg = Open();
        QVERIFY(dlg);
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Varkel Setup"));
        const Fields expected{QStringLiteral("localhost"), QStringLiteral("5555"), {}, {}, {}, {},
                              false, false, false, false};
        QCOMPARE(Read(dlg.get()), expected);
        QCOMPARE(QApplication::focusWidget(), Find<QWidget>(dlg.get(), "okButton"));
        dlg->reject();
        QCOMPARE(SettingsBytes(), QByteArrayLiteral("<no settings file>"));
    }

    void everyFieldRoundTrips_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");

        QTest::newRow("host name") << "hostEdit" << "shack-pc.lan" << "Host" << "shack-pc.lan";
        QTest::newRow("host address") << "hostEdit" << "192.0.2.7" << "Host" << "192.0.2.7";
        QTest::newRow("port") << "portEdit" << "7300" << "Port" << "7300";
        QTest::newRow("port zero kept") << "portEdit" << "0" << "Port" << "0";
        QTest::newRow("port negative kept") << "portEdit" << "-12" << "Port" << "-12";
        QTest::newRow("port above range kept") << "portEdit" << "70000" << "Port" << "70000";
        QTest::newRow("port int max") << "portEdit" << "2147483647" << "Port" << "2147483647";
        QTest::newRow("port int min") << "portEdit" << "-2147483648" << "Port" << "-2147483648";
        QTest::newRow("port plus sign") << "portEdit" << "+8080" << "Port" << "8080";
        QTest::newRow("port leading zeros") << "portEdit" << "007" << "Port" << "7";
        QTest::newRow("F9") << "f9MacroEdit" << "CQ CQ CQ de TEST pse k" << "F9 Macro"
                            << "CQ CQ CQ de TEST pse k";
        QTest::newRow("F10 western") << "f10MacroEdit" << QString::fromUtf8("Grüße, café, 5 €")
                                     << "F10 Macro" << QString::fromUtf8("Grüße, café, 5 €");
        QTest::newRow("F11 upper code page") << "f11MacroEdit" << QString::fromUtf8("Œuvre – ‘ok’ …")
                                             << "F11 Macro" << QString::fromUtf8("Œuvre – ‘ok’ …");
        QTest::newRow("F12 blanks kept") << "f12MacroEdit" << "  73  " << "F12 Macro" << "  73  ";
        QTest::newRow("F12 comma") << "f12MacroEdit" << "name, QTH" << "F12 Macro" << "name, QTH";
        QTest::newRow("F9 CR") << "f9CrCheck" << "" << "F9 CR" << "1";
        QTest::newRow("F10 CR") << "f10CrCheck" << "" << "F10 CR" << "1";
        QTest::newRow("F11 CR") << "f11CrCheck" << "" << "F11 CR" << "1";
        QTest::newRow("F12 CR") << "f12CrCheck" << "" << "F12 CR" << "1";
    }

    // One field changed, OK: that key holds the new value, every other key
    // its default, and the next opening shows the new value.
    void everyFieldRoundTrips()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, key);
        QFETCH(QString, stored);

        auto dlg = Open();
        QVERIFY(dlg);
        QWidget* control = Find<QWidget>(dlg.get(), field.toLatin1().constData());
        QVERIFY(control);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            Retype(edit, typed);
        else
            QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(m_prompter.asked.size(), 0);

        const QMap<QString, QString> defaults{
            {"Host", "localhost"}, {"Port", "5555"}, {"F9 Macro", ""}, {"F10 Macro", ""},
            {"F11 Macro", ""},     {"F12 Macro", ""}, {"F9 CR", "0"},  {"F10 CR", "0"},
            {"F11 CR", "0"},       {"F12 CR", "0"}};
        for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
            const QVariant value = StoredSetup(it.key());
            QVERIFY2(value.isValid(), qPrintable(it.key() + " was not written"));
            QCOMPARE(value.toString(), it.key() == key ? stored : it.value());
        }

        auto again = Open();
        QVERIFY(again);
        QWidget* shown = Find<QWidget>(again.get(), field.toLatin1().constData());
        if (auto* edit = qobject_cast<QLineEdit*>(shown))
            QCOMPARE(edit->text(), key == QLatin1String("Port") ? QString::number(stored.toInt()) : stored);
        else
            QVERIFY(qobject_cast<QCheckBox*>(shown)->isChecked());
        again->reject();
    }

    void portThatIsNoIntegerIsRefused_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("trailing letter") << "12a";
        QTest::newRow("two numbers") << "1 2";
        QTest::newRow("sign only") << "-";
        QTest::newRow("two signs") << "+-5";
        QTest::newRow("hex") << "0x15b3";
        QTest::newRow("decimal point") << "5555.0";
        QTest::newRow("above int") << "2147483648";
        QTest::newRow("below int") << "-2147483649";
        QTest::newRow("far above int") << "99999999999999999999";
        QTest::newRow("other digits") << QString::fromUtf8("٥٥٥٥");
    }

    // The message once, the port field selected, nothing written (the edited
    // host neither), and Cancel afterwards still writes nothing.
    void portThatIsNoIntegerIsRefused()
    {
        QFETCH(QString, port);
        Seed(QStringLiteral("Host"), QStringLiteral("old-host"));
        Seed(QStringLiteral("Port"), 6000);
        const QByteArray before = SettingsBytes();

        auto dlg = Open();
        QVERIFY(dlg);
        Retype(Find<QLineEdit>(dlg.get(), "hostEdit"), QStringLiteral("new-host"));
        Retype(Find<QLineEdit>(dlg.get(), "f9MacroEdit"), QStringLiteral("new macro"));
        auto* portEdit = Find<QLineEdit>(dlg.get(), "portEdit");
        portEdit->setText(port);
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);

        QCOMPARE(m_prompter.asked.size(), 1);
        QCOMPARE(m_prompter.asked[0].text, QStringLiteral("Please enter an integer."));
        QCOMPARE(m_prompter.asked[0].icon, fw::MsgIcon::Warning);
        QVERIFY(dlg->isVisible());
        QCOMPARE(QApplication::focusWidget(), portEdit);
        QCOMPARE(portEdit->selectedText(), port);
        QCOMPARE(portEdit->text(), port);
        QCOMPARE(SettingsBytes(), before);

        QTest::mouseClick(Find<QPushButton>(dlg.get(), "cancelButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QCOMPARE(m_prompter.asked.size(), 1);
        QCOMPARE(SettingsBytes(), before);
    }

    void blanksAroundThePortAreAllowed_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("stored");
        QTest::newRow("spaces") << "  4242  " << 4242;
        QTest::newRow("tabs") << "\t4243\t" << 4243;
        QTest::newRow("signed with blanks") << " -17 " << -17;
    }

    void blanksAroundThePortAreAllowed()
    {
        QFETCH(QString, port);
        QFETCH(int, stored);
        auto dlg = Open();
        QVERIFY(dlg);
        Find<QLineEdit>(dlg.get(), "portEdit")->setText(port);
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(m_prompter.asked.size(), 0);
        QCOMPARE(StoredSetup(QStringLiteral("Port")).toString(), QString::number(stored));
    }

    // A cleared box is written as 0, not left out.
    void clearedCrBoxStoresZero()
    {
        Seed(QStringLiteral("F10 CR"), 1);
        auto dlg = Open();
        QVERIFY(dlg);
        auto* box = Find<QCheckBox>(dlg.get(), "f10CrCheck");
        QVERIFY(box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QVERIFY(!box->isChecked());
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        const QVariant stored = StoredSetup(QStringLiteral("F10 CR"));
        QVERIFY(stored.isValid());
        QCOMPARE(stored.toString(), QStringLiteral("0"));
    }

    // An empty host is a value: it is stored, and shown instead of the default.
    void emptyHostIsStoredAndShown()
    {
        auto dlg = Open();
        QVERIFY(dlg);
        Retype(Find<QLineEdit>(dlg.get(), "hostEdit"), QString());
        QTest::keyClick(Find<QLineEdit>(dlg.get(), "hostEdit"), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        const QVariant stored = StoredSetup(QStringLiteral("Host"));
        QVERIFY(stored.isValid());
        QCOMPARE(stored.toString(), QString());

        auto again = Open();
        QVERIFY(again);
        QCOMPARE(Find<QLineEdit>(again.get(), "hostEdit")->text(), QString());
        again->reject();
    }

    void leavingWithoutOkWritesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel button") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }

    void leavingWithoutOkWritesNothing()
    {
        QFETCH(QString, how);
        Seed(QStringLiteral("F12 Macro"), QStringLiteral("kept"));
        const QByteArray before = SettingsBytes();

        auto dlg = Open();
        QVERIFY(dlg);
        Retype(Find<QLineEdit>(dlg.get(), "hostEdit"), QStringLiteral("elsewhere"));
        Retype(Find<QLineEdit>(dlg.get(), "portEdit"), QStringLiteral("1234"));
        Retype(Find<QLineEdit>(dlg.get(), "f12MacroEdit"), QStringLiteral("changed"));
        QTest::mouseClick(Find<QCheckBox>(dlg.get(), "f9CrCheck"), Qt::LeftButton, {}, QPoint(6, 8));

        if (how == QLatin1String("cancel"))
            QTest::mouseClick(Find<QPushButton>(dlg.get(), "cancelButton"), Qt::LeftButton);
        else if (how == QLatin1String("escape"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            dlg->close();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QCOMPARE(SettingsBytes(), before);
        QCOMPARE(m_prompter.asked.size(), 0);
    }

    void enterInAFieldIsOk()
    {
        auto dlg = Open();
        QVERIFY(dlg);
        auto* edit = Find<QLineEdit>(dlg.get(), "f11MacroEdit");
        Retype(edit, QStringLiteral("QRZ?"));
        QTest::keyClick(edit, Qt::Key_Enter);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(StoredSetup(QStringLiteral("F11 Macro")).toString(), QStringLiteral("QRZ?"));
    }

    // The settings file cannot be written (its path is taken by a folder, which
    // stops root as well): the operator is told, names the file, and keeps the
    // dialog with his input; once the path is free, OK saves.
    void unwritableStoreIsReported()
    {
        const QString path = SettingsFilePath(kApp);
        QVERIFY(QDir().mkpath(path));
        auto cleanup = qScopeGuard([&] { QDir(path).removeRecursively(); });

        auto dlg = Open();
        QVERIFY(dlg);
        Retype(Find<QLineEdit>(dlg.get(), "hostEdit"), QStringLiteral("rig-server"));
        Retype(Find<QLineEdit>(dlg.get(), "f9MacroEdit"), QStringLiteral("de TEST"));
        const Fields typed = Read(dlg.get());
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);

        QCOMPARE(m_prompter.asked.size(), 1);
        QVERIFY2(m_prompter.asked[0].text.contains(path), qPrintable(m_prompter.asked[0].text));
        QCOMPARE(m_prompter.asked[0].icon, fw::MsgIcon::Stop);
        QVERIFY(dlg->isVisible());
        QCOMPARE(Read(dlg.get()), typed);

        QVERIFY(QDir(path).removeRecursively());
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(m_prompter.asked.size(), 1);
        QCOMPARE(StoredSetup(QStringLiteral("Host")).toString(), QStringLiteral("rig-server"));
        QCOMPARE(StoredSetup(QStringLiteral("F9 Macro")).toString(), QStringLiteral("de TEST"));
    }

    void macroFieldTakesOnlySendableText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("western letters") << QString::fromUtf8("äöü ß é") << QString()
                                         << QString::fromUtf8("äöü ß é");
        QTest::newRow("euro and dashes") << QString::fromUtf8("€ – — ™") << QString()
                                         << QString::fromUtf8("€ – — ™");
        QTest::newRow("greek refused") << QString::fromUtf8("aΩb") << QString() << "ab";
        QTest::newRow("cyrillic refused") << QString::fromUtf8("Жx") << QString() << "x";
        QTest::newRow("emoji refused") << QString::fromUtf8("hi😀") << QString() << "hi";
        QTest::newRow("paste keeps sendable part")
            << "a" << QString::fromUtf8("b☺c") << "abc";
        QTest::newRow("paste keeps line ends, shown as pictures")
            << "" << "CQ\r\nCQ\nde" << QStringLiteral("CQ\u240D\u240ACQ\u240Ade");
    }

    void macroFieldTakesOnlySendableText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, shown);
        auto dlg = Open();
        QVERIFY(dlg);
        auto* edit = Find<QLineEdit>(dlg.get(), "f10MacroEdit");
        edit->setFocus();
        Type(edit, typed);
        if (!pasted.isEmpty())
            edit->insert(pasted);
        QCOMPARE(edit->text(), shown);
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(StoredSetup(QStringLiteral("F10 Macro")).toString(),
                 QString(shown).replace(QChar(0x240D), u'\r').replace(QChar(0x240A), u'\n'));
    }

    // A hand-edited settings file may hold characters that cannot be sent;
    // the field shows what the key would really send, line ends included.
    void storedUnsendableTextShowsAsSent()
    {
        Seed(QStringLiteral("F9 Macro"), QString::fromUtf8("73 ☺ de\nTEST"));
        auto dlg = Open();
        QVERIFY(dlg);
        QCOMPARE(Find<QLineEdit>(dlg.get(), "f9MacroEdit")->text(), QStringLiteral("73  de\u240ATEST"));
        dlg->reject();
    }

    // OK writes back what the operator did not edit exactly as it was read:
    // however long, with its line ends, with what no field can show.
    void uneditedTextsAreWrittenBackExactly()
    {
        QString longText;
        for (int i = 0; i < 40000; ++i)
            longText += QChar(u'a' + i % 26);
        const QString lines = QStringLiteral("line1\r\nline2\rline3\n");
        const QString unsendable = QString::fromUtf8("73 ☺ de");
        const QString longHost = QStringLiteral("h") + QString(40000, u'x');
        Seed(QStringLiteral("F9 Macro"), longText);
        Seed(QStringLiteral("F10 Macro"), lines);
        Seed(QStringLiteral("F11 Macro"), unsendable);
        Seed(QStringLiteral("Host"), longHost);
        auto dlg = Open();
        QVERIFY(dlg);
        QCOMPARE(Find<QLineEdit>(dlg.get(), "f9MacroEdit")->text(), longText);
        QCOMPARE(Find<QLineEdit>(dlg.get(), "f10MacroEdit")->text(),
                 QStringLiteral("line1\u240D\u240Aline2\u240Dline3\u240A"));
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QVERIFY(m_prompter.asked.isEmpty());
        QCOMPARE(StoredSetup(QStringLiteral("F9 Macro")).toString(), longText);
        QCOMPARE(StoredSetup(QStringLiteral("F10 Macro")).toString(), lines);
        QCOMPARE(StoredSetup(QStringLiteral("F11 Macro")).toString(), unsendable);
        QCOMPARE(StoredSetup(QStringLiteral("Host")).toString(), longHost);
    }

    // An edited field keeps the line ends it showed; one whose stored text
    // held what it could not show says so before anything is written.
    void editedTextsKeepLineEndsOrSaySo()
    {
        Seed(QStringLiteral("F10 Macro"), QStringLiteral("line1\r\nline2"));
        Seed(QStringLiteral("F11 Macro"), QString::fromUtf8("a☺b"));
        auto dlg = Open();
        QVERIFY(dlg);
        auto* f10 = Find<QLineEdit>(dlg.get(), "f10MacroEdit");
        f10->setFocus();
        f10->end(false);
        Type(f10, QStringLiteral("x"));
        auto* f11 = Find<QLineEdit>(dlg.get(), "f11MacroEdit");
        f11->setFocus();
        f11->end(false);
        Type(f11, QStringLiteral("c"));
        const QByteArray before = SettingsBytes();

        m_prompter.QueueAnswer(fw::MsgAnswer::No);
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QCOMPARE(m_prompter.asked.size(), 1);
        QVERIFY(m_prompter.asked[0].text.contains(QStringLiteral("F11")));
        QVERIFY(!m_prompter.asked[0].text.contains(QStringLiteral("F10")));
        QCOMPARE(m_prompter.asked[0].buttons, fw::MsgButtons::YesNo);
        QVERIFY(dlg->isVisible());
        QCOMPARE(SettingsBytes(), before);

        m_prompter.QueueAnswer(fw::MsgAnswer::Yes);
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "okButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(StoredSetup(QStringLiteral("F10 Macro")).toString(), QStringLiteral("line1\r\nline2x"));
        QCOMPARE(StoredSetup(QStringLiteral("F11 Macro")).toString(), QStringLiteral("abc"));
    }

    void helpShowsSetupTopicAndKeepsDialog_data()
    {
        QTest::addColumn<bool>("useF1");
        QTest::newRow("Help button") << false;
        QTest::newRow("F1") << true;
    }

    // The help window must stay usable beside the modal dialog while the main
    // window stays blocked, and the dialog must come out of it unchanged.
    void helpShowsSetupTopicAndKeepsDialog()
    {
        QFETCH(bool, useF1);
        QWidget frame;
        frame.resize(320, 200);
        auto* frameButton = new QPushButton(QStringLiteral("frame"), &frame);
        int frameClicks = 0;
        connect(frameButton, &QPushButton::clicked, [&frameClicks] { ++frameClicks; });
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame, kWaitMs));
        fw::HelpWindow* help = CreateVarkelHelp(&frame);

        auto dlg = Open(help, &frame);
        QVERIFY(dlg);
        Retype(Find<QLineEdit>(dlg.get(), "hostEdit"), QStringLiteral("typed-host"));
        Retype(Find<QLineEdit>(dlg.get(), "portEdit"), QStringLiteral("4321"));
        Retype(Find<QLineEdit>(dlg.get(), "f12MacroEdit"), QStringLiteral("tu 73"));
        QTest::mouseClick(Find<QCheckBox>(dlg.get(), "f11CrCheck"), Qt::LeftButton, {}, QPoint(6, 8));
        const Fields before = Read(dlg.get());

        if (useF1)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        else
            QTest::mouseClick(Find<QPushButton>(dlg.get(), "helpButton"), Qt::LeftButton);

        QVERIFY(QTest::qWaitForWindowExposed(help, kWaitMs));
        QCOMPARE(help->CurrentPage(), QStringLiteral("qrc:/help/setup.html"));
        QVERIFY(dlg->isVisible());
        QCOMPARE(Read(dlg.get()), before);
        QCOMPARE(m_prompter.asked.size(), 0);

        // The main window is still blocked by the dialog...
        QTest::mouseClick(frameButton, Qt::LeftButton);
        QCOMPARE(frameClicks, 0);
        // ...but a link in the help window can be followed.
        QTextBrowser* browser = help->Browser();
        const QPoint link = LinkPosition(browser, QStringLiteral("macros.html"));
        QVERIFY(!link.isNull());
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, link);
        QTRY_COMPARE_WITH_TIMEOUT(help->CurrentPage(), QStringLiteral("qrc:/help/macros.html"), kWaitMs);

        dlg->reject();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), kWaitMs);
        QCOMPARE(SettingsBytes(), QByteArrayLiteral("<no settings file>"));
        // With the dialog gone the main window takes input again.
        QTest::mouseClick(frameButton, Qt::LeftButton);
        QCOMPARE(frameClicks, 1);
    }

    void helpWithoutHelpWindowDoesNothing()
    {
        auto dlg = Open();
        QVERIFY(dlg);
        const Fields before = Read(dlg.get());
        QTest::mouseClick(Find<QPushButton>(dlg.get(), "helpButton"), Qt::LeftButton);
        QVERIFY(dlg->isVisible());
        QCOMPARE(Read(dlg.get()), before);
        dlg->reject();
    }

    void tabOrderFollowsTheTemplate()
    {
        auto dlg = Open();
        QVERIFY(dlg);
        const QStringList expected{"okButton",     "cancelButton", "hostEdit",    "portEdit",
                                   "f9MacroEdit",  "f10MacroEdit", "f11MacroEdit", "f12MacroEdit",
                                   "f9CrCheck",    "f10CrCheck",   "f11CrCheck",  "f12CrCheck",
                                   "helpButton",   "okButton"};
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expected);
        dlg->reject();
    }

    void labelsNameTheirFields()
    {
        auto dlg = Open();
        QVERIFY(dlg);
        const QList<QPair<QString, QString>> pairs{{"Host", "hostEdit"}, {"Port", "portEdit"},
                                                    {"F9", "f9MacroEdit"}, {"F10", "f10MacroEdit"},
                                                    {"F11", "f11MacroEdit"}, {"F12", "f12MacroEdit"}};
        const QList<QLabel*> labels = dlg->findChildren<QLabel*>();
        for (const auto& [text, field] : pairs) {
            auto it = std::find_if(labels.cbegin(), labels.cend(),
                                   [&](QLabel* l) { return l->text() == text; });
            QVERIFY2(it != labels.cend(), qPrintable(text));
            QVERIFY2((*it)->buddy() && (*it)->buddy()->objectName() == field, qPrintable(text));
        }
        for (QWidget* w : dlg->findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus)
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
        dlg->reject();
    }

    void screenshot()
    {
        const QString dir = qEnvironmentVariable("VARKEL_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("set VARKEL_SCREENSHOT_DIR to write docs/setup-dialog.png");
        Seed(QStringLiteral("F9 Macro"), QStringLiteral("CQ CQ CQ de TEST TEST pse k"));
        Seed(QStringLiteral("F9 CR"), 1);
        Seed(QStringLiteral("F12 Macro"), QStringLiteral("tu 73 sk"));
        auto dlg = Open();
        QVERIFY(dlg);
        const QString path = dir + QStringLiteral("/setup-dialog.png");
        QVERIFY2(dlg->grab().save(path), qPrintable(path));
        dlg->reject();
    }
};

VARKEL_TEST_MAIN(TestSetupDlg, QApplication)
#include "tst_setupdlg.moc"
