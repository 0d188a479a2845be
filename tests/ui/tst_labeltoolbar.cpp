// The toolbar on its own: its items, its two looks, its labels and sizes.

#include "commandtable.h"
#include "labeltoolbar.h"
#include "resource.h"
#include "settingskeys.h"
#include "settingsstore.h"
#include "stringtable.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QMainWindow>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <memory>

class TestLabelToolBar : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void itemsFollowTheToolbarResource();
    void everyButtonHasItsOwnImage();
    void classicLook();
    void labels_data();
    void labels();
    void labelledButtonsShareTheLargestSize();
    void styleIsReadAtEveryLoad();
    void unknownResourceLoadsNothing();
    void tooltips_data();
    void tooltips();
    void everyButtonHasAnAccessibleName();

private:
    void setStyle(bool labelled) const;
    QList<QToolButton*> buttons() const;

    fw::SettingsStore m_store{AppName()};
    std::unique_ptr<QMainWindow> m_window;
    CCommandActions* m_commands = nullptr;
    CLabelToolBar* m_bar = nullptr;
};

namespace {

const unsigned kButtonIds[] = {ID_APP_ABOUT,    ID_CONNECT,    ID_TRANSMISSION, ID_ABORT_TRANSMISSION,
                               ID_SEND_TEXTFILE, ID_RECORD_QSO, ID_MACRO_F9,     ID_MACRO_F10,
                               ID_MACRO_F11,    ID_MACRO_F12};

} // namespace

void TestLabelToolBar::init()
{
    ClearSettings(AppName());
    m_window = std::make_unique<QMainWindow>();
    m_commands = new CCommandActions(m_window.get());
    m_bar = new CLabelToolBar(*m_commands, m_store, m_window.get());
    m_window->addToolBar(m_bar);
    m_window->resize(900, 200);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestLabelToolBar::cleanup()
{
    QToolTip::hideText();
    m_window.reset();
}

void TestLabelToolBar::setStyle(bool labelled) const
{
    m_store.WriteProfileInt(keys::kSettings, keys::kToolbarInIE4Style, labelled ? 1 : 0);
}

QList<QToolButton*> TestLabelToolBar::buttons() const
{
    QList<QToolButton*> list;
    for (unsigned id : kButtonIds)
        list.append(m_bar->Button(id));
    return list;
}

void TestLabelToolBar::itemsFollowTheToolbarResource()
{
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    // Loading twice must not add a second set of items.
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));

    const QStringList expected = {
        "actionAbout",        "|", "actionConnect",    "|",
        "actionTransmission", "actionAbortTransmission", "|",
        "actionSendTextfile", "actionRecordQso",   "|",
        "actionMacroF9",      "actionMacroF10",    "actionMacroF11", "actionMacroF12",
    };
    QStringList actual;
    for (QAction* action : m_bar->actions())
        actual.append(action->isSeparator() ? QStringLiteral("|") : action->objectName());
    QCOMPARE(actual, expected);

    // The buttons carry the very actions the menus and keys use.
    for (unsigned id : kButtonIds) {
        QVERIFY2(m_bar->Button(id), qPrintable(QString::number(id)));
        QCOMPARE(m_bar->Button(id)->defaultAction(), m_commands->Action(id));
    }
}

void TestLabelToolBar::everyButtonHasItsOwnImage()
{
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QCOMPARE(m_bar->iconSize(), QSize(16, 15));
    QList<QImage> images;
    for (QToolButton* button : buttons()) {
        const QImage image = button->icon().pixmap(QSize(16, 15)).toImage();
        QCOMPARE(image.size(), QSize(16, 15));
        // Not blank: some pixel is opaque.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(drawn, qPrintable(button->objectName()));
        for (const QImage& other : std::as_const(images))
            QVERIFY2(other != image, qPrintable(button->objectName()));
        images.append(image);
    }
    // Toolbar pictures stay out of the menus.
    QVERIFY(!m_commands->Action(ID_CONNECT)->isIconVisibleInMenu());
}

void TestLabelToolBar::classicLook()
{
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));  // nothing stored: classic
    QVERIFY(!m_bar->IsLabelled());
    QCOMPARE(m_bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    for (QToolButton* button : buttons()) {
        QVERIFY2(!button->autoRaise(), qPrintable(button->objectName()));
        QCOMPARE(button->size(), QSize(23, 22));
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
}

void TestLabelToolBar::labels_data()
{
    QTest::addColumn<bool>("labelled");
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<QString>("macroKey");  // where the button's macro is stored
    QTest::addColumn<QString>("macro");
    QTest::addColumn<QString>("expected");

    for (bool labelled : {true, false}) {
        const char* style = labelled ? "IE4" : "classic";
        auto row = [&](const char* name, unsigned id, const QString& macro, const QString& expected,
                       const QString& macroKey = {}) {
            QTest::addRow("%s: %s", style, name) << labelled << id << macroKey << macro << expected;
        };
        row("About", ID_APP_ABOUT, {}, "About");
        row("Connect", ID_CONNECT, {}, "Connect");
        row("Transmission", ID_TRANSMISSION, {}, "Transmit");
        row("Abort", ID_ABORT_TRANSMISSION, {}, "Abort");
        row("Send Textfile", ID_SEND_TEXTFILE, {}, "Send File");
        row("Record QSO", ID_RECORD_QSO, {}, "Record");
        row("macro of 14 characters", ID_MACRO_F9, "CQ CQ DE DL1AB", "CQ CQ DE D", keys::kF9Macro);
        row("empty macro", ID_MACRO_F10, "", "", keys::kF10Macro);
        // Cut to ten ("RST 599\n\nG") before the split, so not "GL 73".
        row("line feeds within ten", ID_MACRO_F11, "RST 599\n\nGL 73", "G", keys::kF11Macro);
        row("line feed after ten", ID_MACRO_F12, "0123456789\nABC", "0123456789", keys::kF12Macro);
        row("line feeds only", ID_MACRO_F9, "\n\n\n", "", keys::kF9Macro);
        row("line feeds at both ends", ID_MACRO_F10, "\nQRZ?\n", "QRZ?", keys::kF10Macro);
        row("ampersand", ID_MACRO_F11, "R&R 73", "R&R 73", keys::kF11Macro);
        row("exactly ten", ID_MACRO_F12, "ABCDEFGHIJ", "ABCDEFGHIJ", keys::kF12Macro);
    }
}

void TestLabelToolBar::labels()
{
    QFETCH(bool, labelled);
    QFETCH(unsigned, id);
    QFETCH(QString, macroKey);
    QFETCH(QString, macro);
    QFETCH(QString, expected);

    setStyle(labelled);
    if (!macroKey.isEmpty())
        m_store.WriteProfileString(keys::kSetup, macroKey, macro);
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));

    QCOMPARE(m_bar->ItemLabel(id), expected);
    QToolButton* button = m_bar->Button(id);
    if (labelled) {
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY(button->autoRaise());
        // As stored: an ampersand is shown, not taken as a mnemonic.
        QCOMPARE(button->text(), QString(expected).replace("&", "&&"));
    } else {
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(!button->autoRaise());
    }
}

void TestLabelToolBar::labelledButtonsShareTheLargestSize()
{
    setStyle(true);
    m_store.WriteProfileString(keys::kSetup, keys::kF9Macro, "WWWWWWWWWWWWWW");
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));

    const QSize wide = m_bar->Button(ID_APP_ABOUT)->size();
    bool someoneNeedsIt = false;
    for (QToolButton* button : buttons()) {
        QCOMPARE(button->size(), wide);
        const QSize own = button->sizeHint();
        QVERIFY2(own.width() <= wide.width() && own.height() <= wide.height(),
                 qPrintable(button->objectName()));
        someoneNeedsIt = someoneNeedsIt || own == wide;
    }
    QVERIFY2(someoneNeedsIt, "the common size is larger than any button needs");
    QCOMPARE(m_bar->Button(ID_MACRO_F9)->sizeHint().width(), wide.width());
    QVERIFY(wide.width() > 23 && wide.height() > 22);

    // A shorter macro text lets every button shrink on the next load.
    m_store.WriteProfileString(keys::kSetup, keys::kF9Macro, "W");
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    const QSize narrow = m_bar->Button(ID_MACRO_F12)->size();
    QVERIFY(narrow.width() < wide.width());
    for (QToolButton* button : buttons())
        QCOMPARE(button->size(), narrow);

    // Back to the classic look: standard size, raised, no labels.
    setStyle(false);
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    for (QToolButton* button : buttons()) {
        QCOMPARE(button->size(), QSize(23, 22));
        QVERIFY(!button->autoRaise());
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
}

void TestLabelToolBar::styleIsReadAtEveryLoad()
{
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QVERIFY(!m_bar->IsLabelled());
    setStyle(true);
    QVERIFY(!m_bar->IsLabelled());  // nothing changes until the next load
    m_store.WriteProfileString(keys::kSetup, keys::kF10Macro, "TEST");
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QVERIFY(m_bar->IsLabelled());
    QCOMPARE(m_bar->Button(ID_MACRO_F10)->text(), QStringLiteral("TEST"));
    m_store.WriteProfileString(keys::kSetup, keys::kF10Macro, "5NN TU");
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QCOMPARE(m_bar->Button(ID_MACRO_F10)->text(), QStringLiteral("5NN TU"));
    // Any nonzero value means the labelled look.
    m_store.WriteProfileInt(keys::kSettings, keys::kToolbarInIE4Style, 7);
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QVERIFY(m_bar->IsLabelled());
    setStyle(false);
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QVERIFY(!m_bar->IsLabelled());
}

void TestLabelToolBar::unknownResourceLoadsNothing()
{
    QVERIFY(!m_bar->LoadToolBar(IDR_MAINFRAME + 1));
    QVERIFY(m_bar->actions().isEmpty());
    QCOMPARE(m_bar->Button(ID_CONNECT), nullptr);
}

void TestLabelToolBar::tooltips_data()
{
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("About") << ID_APP_ABOUT << "About";
    QTest::newRow("Connect") << ID_CONNECT << "Connect";
    QTest::newRow("Transmission") << ID_TRANSMISSION << "Transmit";
    QTest::newRow("Record") << ID_RECORD_QSO << "Record";
    QTest::newRow("F9 labelled") << ID_MACRO_F9 << "";
    QTest::newRow("F10 unlabelled") << ID_MACRO_F10 << "";
    QTest::newRow("F12 labelled") << ID_MACRO_F12 << "";
}

void TestLabelToolBar::tooltips()
{
    QFETCH(unsigned, id);
    QFETCH(QString, tooltip);

    // Labels in place, so a fallback to the label would show.
    setStyle(true);
    m_store.WriteProfileString(keys::kSetup, keys::kF9Macro, "CQ CQ");
    m_store.WriteProfileString(keys::kSetup, keys::kF12Macro, "73 GL");
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));

    QToolButton* button = m_bar->Button(id);
    const QPoint inside = button->rect().center();
    QHelpEvent event(QEvent::ToolTip, inside, button->mapToGlobal(inside));
    QApplication::sendEvent(button, &event);
    if (tooltip.isEmpty()) {
        QTest::qWait(50);
        QVERIFY2(!QToolTip::isVisible(), qPrintable(QToolTip::text()));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 2000);
        QCOMPARE(QToolTip::text(), tooltip);
    }
}

void TestLabelToolBar::everyButtonHasAnAccessibleName()
{
    QVERIFY(m_bar->LoadToolBar(IDR_MAINFRAME));
    QSet<QString> names;
    for (QToolButton* button : buttons()) {
        QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        names.insert(button->accessibleName());
    }
    QCOMPARE(names.size(), int(std::size(kButtonIds)));
    QCOMPARE(m_bar->Button(ID_MACRO_F11)->accessibleName(), QStringLiteral("F11 Macro"));
}

VARKEL_TEST_MAIN(TestLabelToolBar, QApplication)
#include "tst_labeltoolbar.moc"
