// The main window: placement and pane heights across runs, caption, menus,
// keys, the enabling of every command in both session states, the toolbar
// style command, the status bar, and leaving on a termination signal.

#include "commandtable.h"
#include "helpwindow.h"
#include "keyindicators.h"
#include "labeltoolbar.h"
#include "mainframe.h"
#include "receiveview.h"
#include "resource.h"
#include "scriptedprompter.h"
#include "settingskeys.h"
#include "settingsstore.h"
#include "stringtable.h"
#include "testenv.h"
#include "transmitview.h"
#include "varkelapp.h"
#include "varkeldoc.h"
#include "windowplacement.h"
#include "wireserver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QToolButton>
#include <QWhatsThis>

#include <csignal>
#include <memory>

namespace {

fw::SettingsStore Store()
{
    return fw::SettingsStore(AppName());
}

int Setting(const QString& key)
{
    return Store().GetProfileInt(keys::kSettings, key, -1);
}

void StoreRect(const QRect& rect)
{
    Store().WriteProfileInt(keys::kSettings, keys::kX, rect.x());
    Store().WriteProfileInt(keys::kSettings, keys::kY, rect.y());
    Store().WriteProfileInt(keys::kSettings, keys::kCx, rect.width());
    Store().WriteProfileInt(keys::kSettings, keys::kCy, rect.height());
}

QRect StoredRect()
{
    return QRect(Setting(keys::kX), Setting(keys::kY), Setting(keys::kCx), Setting(keys::kCy));
}

// A port nobody listens on.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void PointAt(quint16 port)
{
    Store().WriteProfileString(keys::kSetup, keys::kHost, QStringLiteral("127.0.0.1"));
    Store().WriteProfileInt(keys::kSetup, keys::kPort, port);
}

// A document and its main window, made the way the program makes them.
struct Frame {
    Frame()
    {
        doc.SetCloseWaitMs(0);
        frame = std::make_unique<CMainFrame>(doc);
    }
    bool Create() { return frame->Create(); }
    bool Show()
    {
        if (!frame->IsCreated() && !frame->Create())
            return false;
        frame->show();
        return QTest::qWaitForWindowExposed(frame.get());
    }
    QAction* Action(unsigned id) const { return frame->Action(id); }

    ScriptedPrompter prompter;
    CVarkelDoc doc{prompter};
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT

private slots:
    void init();

    void firstStartUsesTheDefaults();
    void placementRoundTrip_data();
    void placementRoundTrip();
    void placementIsKeptOnScreen_data();
    void placementIsKeptOnScreen();
    void placementOfAMinimisedWindow();
    void paneHeightsRoundTrip_data();
    void paneHeightsRoundTrip();
    void upperPaneKeepsItsHeightOnResize();

    void caption_data();
    void caption();
    void menuStructure_data();
    void menuStructure();
    void menusToolbarAndKeysShareOneAction();
    void accelerators_data();
    void accelerators();
    void noOtherKeys();
    void paneKeysMoveTheFocus();
    void editCommandsGoToTheActivePane();
    void helpKeysOpenTheContents_data();
    void helpKeysOpenTheContents();

    void commandStates_data();
    void commandStates();
    void pasteFollowsTheClipboard();
    void checksFollowTheSession();
    void toolbarRefreshFollowsTheDocument();
    void ie4StyleCommand();
    void refreshBeforeCreationDoesNothing();
    void viewBarsCommands();

    void statusPrompts_data();
    void statusPrompts();
    void lockKeyPanes();

    void startUpWithoutServer();
    void startUpWithAFile();
    void unknownSwitchesAreIgnored();
    void terminationSignalClosesAndStores();

private:
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

void TestMainFrame::init()
{
    ClearSettings(AppName());
}

// ---- placement -------------------------------------------------------------

void TestMainFrame::firstStartUsesTheDefaults()
{
    Frame f;
    QVERIFY(f.Show());
    QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry(), QRect(0, 0, 500, 300), 2000);
    QCOMPARE(f.frame->Splitter()->sizes().value(0), 100);
    QVERIFY(!f.frame->ToolBar()->IsLabelled());
    QCOMPARE(f.frame->toolBarArea(f.frame->ToolBar()), Qt::TopToolBarArea);
    QVERIFY(f.frame->ToolBar()->isVisible());
    QVERIFY(f.frame->statusBar()->isVisible());
    QVERIFY(!f.frame->windowIcon().isNull());
    // A screen reader can tell the panes apart.
    QVERIFY(!f.frame->ReceiveView()->accessibleName().isEmpty());
    QVERIFY(!f.frame->TransmitView()->accessibleName().isEmpty());
    QVERIFY(f.frame->ReceiveView()->accessibleName() != f.frame->TransmitView()->accessibleName());
}

void TestMainFrame::placementRoundTrip_data()
{
    QTest::addColumn<QRect>("start");
    QTest::addColumn<QRect>("moved");
    QTest::addColumn<bool>("maximise");

    QTest::newRow("moved and resized") << QRect(40, 50, 420, 310) << QRect(120, 90, 560, 380) << false;
    QTest::newRow("left as it was") << QRect(10, 20, 600, 400) << QRect() << false;
    QTest::newRow("maximised") << QRect(40, 50, 420, 310) << QRect() << true;
}

void TestMainFrame::placementRoundTrip()
{
    QFETCH(QRect, start);
    QFETCH(QRect, moved);
    QFETCH(bool, maximise);

    StoreRect(start);
    QRect left;
    {
        Frame f;
        QVERIFY(f.Show());
        QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry(), start, 2000);
        if (moved.isValid()) {
            f.frame->move(moved.topLeft());
            f.frame->resize(moved.size() - (f.frame->frameGeometry().size() - f.frame->size()));
            QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry(), moved, 2000);
        }
        if (maximise) {
            f.frame->showMaximized();
            QTRY_VERIFY_WITH_TIMEOUT(f.frame->isMaximized(), 2000);
            QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry(), available(), 2000);
        }
        left = f.frame->frameGeometry();
        QVERIFY(f.frame->close());
    }
    QCOMPARE(StoredRect(), left);
    QCOMPARE(StoredRect(), maximise ? available() : moved.isValid() ? moved : start);

    // The next start puts the window where it was left.
    Frame again;
    QVERIFY(again.Show());
    QTRY_COMPARE_WITH_TIMEOUT(again.frame->frameGeometry(), left, 2000);
}

void TestMainFrame::placementIsKeptOnScreen_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QRect>("expected");  // null: primary screen's top left, same size

    QTest::newRow("on screen") << QRect(30, 40, 400, 300) << QRect(30, 40, 400, 300);
    QTest::newRow("partly on screen") << QRect(700, 500, 400, 300) << QRect(700, 500, 400, 300);
    QTest::newRow("far right") << QRect(5000, 40, 400, 300) << QRect();
    QTest::newRow("far above left") << QRect(-3000, -3000, 400, 300) << QRect();
    QTest::newRow("minimised on some systems") << QRect(-32000, -32000, 160, 24) << QRect();
}

void TestMainFrame::placementIsKeptOnScreen()
{
    QFETCH(QRect, stored);
    QFETCH(QRect, expected);
    if (expected.isNull())
        expected = QRect(available().topLeft(), stored.size());

    StoreRect(stored);
    Frame f;
    QVERIFY(f.Show());
    QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry().topLeft(), expected.topLeft(), 2000);
    const QSize least = f.frame->minimumSizeHint();
    if (expected.width() >= least.width() && expected.height() >= least.height())
        QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry(), expected, 2000);

    // Never larger than the screen it is brought back to.
    const QRect huge(9000, 9000, 5000, 4000);
    QCOMPARE(placement::OnScreen(huge, {available()}, available()), available());
}

void TestMainFrame::placementOfAMinimisedWindow()
{
    const QRect start(60, 70, 450, 320);
    StoreRect(start);
    {
        Frame f;
        QVERIFY(f.Show());
        QTRY_COMPARE_WITH_TIMEOUT(f.frame->frameGeometry(), start, 2000);
        f.frame->showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(f.frame->isMinimized(), 2000);
        QVERIFY(f.frame->close());
    }
    QCOMPARE(StoredRect(), start);

    // Where the window system moves a minimised window away, the restored
    // placement is what is kept.
    const QMargins decoration(4, 24, 4, 4);
    QCOMPARE(placement::ToStore(QRect(-32000, -32000, 160, 24), true, QRect(64, 94, 442, 292),
                                decoration),
             QRect(60, 70, 450, 320));
    QCOMPARE(placement::ToStore(QRect(0, 0, 800, 600), false, QRect(64, 94, 442, 292), decoration),
             QRect(0, 0, 800, 600));
}

void TestMainFrame::paneHeightsRoundTrip_data()
{
    QTest::addColumn<int>("storedHeight");  // -1: none stored
    QTest::addColumn<int>("startHeight");
    QTest::addColumn<int>("draggedTo");

    QTest::newRow("default") << -1 << 100 << 60;
    QTest::newRow("stored 150") << 150 << 150 << 90;
    QTest::newRow("stored 40, left alone") << 40 << 40 << -1;
}

void TestMainFrame::paneHeightsRoundTrip()
{
    QFETCH(int, storedHeight);
    QFETCH(int, startHeight);
    QFETCH(int, draggedTo);

    StoreRect(QRect(20, 20, 520, 420));
    if (storedHeight >= 0)
        Store().WriteProfileInt(keys::kSettings, keys::kHeight1, storedHeight);
    int upper = 0;
    int lower = 0;
    {
        Frame f;
        QVERIFY(f.Show());
        QSplitter* splitter = f.frame->Splitter();
        QCOMPARE(splitter->widget(0), f.frame->ReceiveView());
        QCOMPARE(splitter->widget(1), f.frame->TransmitView());
        QTRY_COMPARE_WITH_TIMEOUT(splitter->sizes().value(0), startHeight, 2000);
        // The lower pane takes the rest.
        QCOMPARE(splitter->sizes().value(1), splitter->height() - splitter->handleWidth() - startHeight);
        QCOMPARE(f.frame->ReceiveView()->height(), startHeight);

        if (draggedTo >= 0) {
            const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
            splitter->setSizes({draggedTo, total - draggedTo});
        }
        upper = splitter->sizes().value(0);
        lower = splitter->sizes().value(1);
        QVERIFY(f.frame->close());
    }
    QCOMPARE(Setting(keys::kHeight1), upper);
    QCOMPARE(Setting(keys::kHeight2), lower);
    QCOMPARE(upper, draggedTo >= 0 ? draggedTo : startHeight);

    Frame again;
    QVERIFY(again.Show());
    QTRY_COMPARE_WITH_TIMEOUT(again.frame->Splitter()->sizes().value(0), upper, 2000);
}

void TestMainFrame::upperPaneKeepsItsHeightOnResize()
{
    StoreRect(QRect(20, 20, 500, 360));
    Store().WriteProfileInt(keys::kSettings, keys::kHeight1, 120);
    Frame f;
    QVERIFY(f.Show());
    QTRY_COMPARE_WITH_TIMEOUT(f.frame->Splitter()->sizes().value(0), 120, 2000);
    const int lower = f.frame->Splitter()->sizes().value(1);
    f.frame->resize(f.frame->width(), f.frame->height() + 80);
    QTRY_COMPARE_WITH_TIMEOUT(f.frame->Splitter()->sizes().value(1), lower + 80, 2000);
    QCOMPARE(f.frame->Splitter()->sizes().value(0), 120);
}

// ---- caption, menus, keys --------------------------------------------------

void TestMainFrame::caption_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::newRow("connected") << "Connected to Sondrel" << "Connected to Sondrel - Varkel";
    QTest::newRow("new document") << "Disconnected" << "Disconnected - Varkel";
    QTest::newRow("lost link") << "Varkel - Disconnected" << "Varkel - Disconnected - Varkel";
    QTest::newRow("opened file") << "notes.txt" << "notes.txt - Varkel";
}

void TestMainFrame::caption()
{
    QFETCH(QString, title);
    QFETCH(QString, caption);
    Frame f;
    QVERIFY(f.Create());
    f.doc.SetTitle(title);
    QCOMPARE(f.frame->windowTitle(), caption);
}

void TestMainFrame::menuStructure_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("popup");
    QTest::addColumn<QStringList>("items");  // "-" for a separator

    QTest::newRow("File") << 0 << "&File" << true
                          << QStringList{"&Send Textfile", "&Record QSO", "-", "E&xit"};
    QTest::newRow("View") << 1 << "&View" << true
                          << QStringList{"&Toolbar", "&Status Bar", "-", "&Clear Windows",
                                         "Toolbar in &IE4 style"};
    QTest::newRow("Connect") << 2 << "&Connect" << false << QStringList{};
    QTest::newRow("Setup") << 3 << "&Setup" << false << QStringList{};
    QTest::newRow("TX Control") << 4 << "&TX Control" << true
                                << QStringList{"&Transmission\tF5", "&Abort Transmission"};
    QTest::newRow("Help") << 5 << "&Help" << true
                          << QStringList{"&Help Topics\tF1", "-", "&About Varkel..."};
}

void TestMainFrame::menuStructure()
{
    QFETCH(int, position);
    QFETCH(QString, title);
    QFETCH(bool, popup);
    QFETCH(QStringList, items);

    Frame f;
    QVERIFY(f.Create());
    const QList<QAction*> bar = f.frame->menuBar()->actions();
    QCOMPARE(bar.size(), 6);
    QAction* entry = bar.value(position);
    QCOMPARE(entry->text(), title);
    QCOMPARE(entry->menu() != nullptr, popup);
    if (!popup) {
        QVERIFY(!entry->isSeparator());
        // Shown as its text, even where it shares a toolbar image.
        const QFontMetrics metrics(f.frame->menuBar()->font());
        const QString shown = QString(title).remove('&');
        QVERIFY(f.frame->menuBar()->actionGeometry(entry).width() > metrics.horizontalAdvance(shown));
        return;
    }
    QStringList actual;
    for (QAction* item : entry->menu()->actions())
        actual.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    QCOMPARE(actual, items);
}

void TestMainFrame::menusToolbarAndKeysShareOneAction()
{
    Frame f;
    QVERIFY(f.Create());
    const QList<QAction*> bar = f.frame->menuBar()->actions();
    QCOMPARE(bar.value(2), f.Action(ID_CONNECT));
    QCOMPARE(bar.value(3), f.Action(ID_SETUP));
    QCOMPARE(bar.value(4)->menu()->actions().value(0), f.Action(ID_TRANSMISSION));
    for (unsigned id : {ID_APP_ABOUT, ID_CONNECT, ID_TRANSMISSION, ID_ABORT_TRANSMISSION,
                        ID_SEND_TEXTFILE, ID_RECORD_QSO, ID_MACRO_F9, ID_MACRO_F12})
        QCOMPARE(f.frame->ToolBar()->Button(id)->defaultAction(), f.Action(id));
    // One action per command, no more: the terminal has 29 commands.
    QSet<QString> names;
    int commands = 0;
    for (QAction* action : f.frame->findChildren<QAction*>()) {
        if (!action->objectName().startsWith(QStringLiteral("action")))
            continue;
        ++commands;
        names.insert(action->objectName());
    }
    QCOMPARE(commands, 29);
    QCOMPARE(names.size(), 29);
}

void TestMainFrame::accelerators_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("action");

    QTest::newRow("Ctrl+C") << QKeySequence(Qt::CTRL | Qt::Key_C) << "actionEditCopy";
    QTest::newRow("Ctrl+N") << QKeySequence(Qt::CTRL | Qt::Key_N) << "actionFileNew";
    QTest::newRow("Ctrl+O") << QKeySequence(Qt::CTRL | Qt::Key_O) << "actionFileOpen";
    QTest::newRow("Ctrl+S") << QKeySequence(Qt::CTRL | Qt::Key_S) << "actionFileSave";
    QTest::newRow("Ctrl+V") << QKeySequence(Qt::CTRL | Qt::Key_V) << "actionEditPaste";
    QTest::newRow("Alt+Backspace") << QKeySequence(Qt::ALT | Qt::Key_Backspace) << "actionEditUndo";
    QTest::newRow("Shift+Delete") << QKeySequence(Qt::SHIFT | Qt::Key_Delete) << "actionEditCut";
    QTest::newRow("F1") << QKeySequence(Qt::Key_F1) << "actionHelp";
    QTest::newRow("F10") << QKeySequence(Qt::Key_F10) << "actionMacroF10";
    QTest::newRow("F11") << QKeySequence(Qt::Key_F11) << "actionMacroF11";
    QTest::newRow("F12") << QKeySequence(Qt::Key_F12) << "actionMacroF12";
    QTest::newRow("F5") << QKeySequence(Qt::Key_F5) << "actionTransmission";
    QTest::newRow("F6") << QKeySequence(Qt::Key_F6) << "actionNextPane";
    QTest::newRow("Shift+F6") << QKeySequence(Qt::SHIFT | Qt::Key_F6) << "actionPrevPane";
    QTest::newRow("F9") << QKeySequence(Qt::Key_F9) << "actionMacroF9";
    QTest::newRow("Ctrl+Insert") << QKeySequence(Qt::CTRL | Qt::Key_Insert) << "actionEditCopy";
    QTest::newRow("Shift+Insert") << QKeySequence(Qt::SHIFT | Qt::Key_Insert) << "actionEditPaste";
    QTest::newRow("Ctrl+X") << QKeySequence(Qt::CTRL | Qt::Key_X) << "actionEditCut";
    QTest::newRow("Ctrl+Z") << QKeySequence(Qt::CTRL | Qt::Key_Z) << "actionEditUndo";
}

void TestMainFrame::accelerators()
{
    QFETCH(QKeySequence, key);
    QFETCH(QString, action);

    Frame f;
    QVERIFY(f.Create());
    QStringList owners;
    for (QAction* candidate : f.frame->actions()) {
        if (candidate->shortcuts().contains(key))
            owners.append(candidate->objectName());
    }
    QCOMPARE(owners, QStringList{action});
    // Reachable from anywhere in the window, menu or no menu.
    QAction* owner = f.frame->findChild<QAction*>(action);
    QVERIFY(owner);
    QCOMPARE(owner->shortcutContext(), Qt::WindowShortcut);
    QVERIFY(f.frame->actions().contains(owner));
}

void TestMainFrame::noOtherKeys()
{
    Frame f;
    QVERIFY(f.Create());
    int keys = 0;
    for (QAction* action : f.frame->findChildren<QAction*>())
        keys += int(action->shortcuts().size());
    QCOMPARE(keys, 19);
    // F1 is Help, not Help Topics, whatever that item's text says.
    QVERIFY(f.Action(ID_HELP_FINDER)->shortcuts().isEmpty());
}

void TestMainFrame::paneKeysMoveTheFocus()
{
    Frame f;
    QVERIFY(f.Show());
    QApplication::setActiveWindow(f.frame.get());
    QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), f.frame->ReceiveView(), 2000);
    QCOMPARE(f.frame->ActivePane(), f.frame->ReceiveView());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), f.frame->TransmitView(), 2000);
    QCOMPARE(f.frame->ActivePane(), f.frame->TransmitView());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), f.frame->ReceiveView(), 2000);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), f.frame->TransmitView(), 2000);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), f.frame->ReceiveView(), 2000);

    // A click into a pane makes it the active one as well.
    f.frame->TransmitView()->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE_WITH_TIMEOUT(f.frame->ActivePane(), f.frame->TransmitView(), 2000);
}

void TestMainFrame::editCommandsGoToTheActivePane()
{
    Frame f;
    QVERIFY(f.Show());
    f.frame->ReceiveView()->setPlainText(QStringLiteral("received words"));
    f.frame->ReceiveView()->selectAll();
    f.frame->TransmitView()->setPlainText(QStringLiteral("typed words"));
    f.frame->TransmitView()->selectAll();

    QApplication::clipboard()->clear();
    f.Action(ID_EDIT_COPY)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::clipboard()->text(), QStringLiteral("received words"), 2000);

    f.Action(ID_NEXT_PANE)->trigger();
    QCOMPARE(f.frame->ActivePane(), f.frame->TransmitView());
    f.Action(ID_EDIT_COPY)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::clipboard()->text(), QStringLiteral("typed words"), 2000);
}

void TestMainFrame::helpKeysOpenTheContents_data()
{
    QTest::addColumn<unsigned>("id");
    QTest::newRow("F1 (Help)") << ID_HELP;
    QTest::newRow("Help Topics") << ID_HELP_FINDER;
    QTest::newRow("default help") << ID_DEFAULT_HELP;
}

void TestMainFrame::helpKeysOpenTheContents()
{
    QFETCH(unsigned, id);
    Frame f;
    QVERIFY(f.Show());
    QCOMPARE(f.frame->findChild<fw::HelpWindow*>(), nullptr);  // made on first use
    f.Action(id)->trigger();
    fw::HelpWindow* help = f.frame->findChild<fw::HelpWindow*>();
    QVERIFY(help);
    QTRY_VERIFY_WITH_TIMEOUT(help->isVisible(), 2000);
    QCOMPARE(help->CurrentPage(), QStringLiteral("qrc:/help/index.html"));
    // The same window again, not a second one.
    f.Action(id)->trigger();
    QCOMPARE(f.frame->findChildren<fw::HelpWindow*>().size(), 1);
    // Closing the main window takes the help window with it.
    QVERIFY(f.frame->close());
    QVERIFY(!help->isVisible());
}

// ---- command states --------------------------------------------------------

void TestMainFrame::commandStates_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checked");

    const struct {
        const char* name;
        unsigned id;
        bool enabledDisconnected;
        bool checked;
    } rows[] = {
        {"Connect", ID_CONNECT, true, false},
        {"Record QSO", ID_RECORD_QSO, false, false},
        {"Send Textfile", ID_SEND_TEXTFILE, false, false},
        {"Transmission", ID_TRANSMISSION, false, false},
        {"Abort Transmission", ID_ABORT_TRANSMISSION, false, false},
        {"Setup", ID_SETUP, true, false},
        {"F9", ID_MACRO_F9, false, false},
        {"F10", ID_MACRO_F10, false, false},
        {"F11", ID_MACRO_F11, false, false},
        {"F12", ID_MACRO_F12, false, false},
        {"Clear Windows", ID_CLEAR_WINDOWS, true, false},
        {"About", ID_APP_ABOUT, true, false},
        {"Exit", ID_APP_EXIT, true, false},
        {"View Toolbar", ID_VIEW_TOOLBAR, true, true},
        {"View Status Bar", ID_VIEW_STATUS_BAR, true, true},
        {"IE4 style", ID_TOOLBAR_IE4_STYLE, true, false},
        {"Help Topics", ID_HELP_FINDER, true, false},
        {"Help", ID_HELP, true, false},
        {"File New", ID_FILE_NEW, true, false},
        {"File Open", ID_FILE_OPEN, true, false},
        {"File Save", ID_FILE_SAVE, true, false},
        {"Copy", ID_EDIT_COPY, true, false},
        {"Paste", ID_EDIT_PASTE, true, false},
        {"Next Pane", ID_NEXT_PANE, true, false},
    };
    for (const auto& row : rows) {
        QTest::addRow("disconnected: %s", row.name) << false << row.id << row.enabledDisconnected
                                                     << row.checked;
        QTest::addRow("connected: %s", row.name) << true << row.id << true << row.checked;
    }
}

void TestMainFrame::commandStates()
{
    QFETCH(bool, connected);
    QFETCH(unsigned, id);
    QFETCH(bool, enabled);
    QFETCH(bool, checked);

    WireServer server;
    QVERIFY(server.Listen());
    PointAt(server.Port());
    Frame f;
    QVERIFY(f.Show());
    if (connected) {
        f.Action(ID_CONNECT)->trigger();
        QVERIFY(f.doc.IsConnected());
        QVERIFY(server.WaitForConnections(2));
        QCOMPARE(f.frame->windowTitle(), QStringLiteral("Connected to Sondrel - Varkel"));
    }
    QAction* action = f.Action(id);
    QCOMPARE(action->isEnabled(), enabled);
    QCOMPARE(action->isChecked(), checked);
    // A button shows its command's state too.
    if (QToolButton* button = f.frame->ToolBar()->Button(id))
        QCOMPARE(button->isEnabled(), enabled);
}

// Paste is offered while the clipboard holds text, and only then.
void TestMainFrame::pasteFollowsTheClipboard()
{
    Frame f;
    QVERIFY(f.Show());
    QAction* paste = f.Action(ID_EDIT_PASTE);
    QClipboard* clipboard = QApplication::clipboard();

    clipboard->setText(QStringLiteral("73"));
    QTRY_VERIFY_WITH_TIMEOUT(paste->isEnabled(), 2000);
    clipboard->clear();
    QTRY_VERIFY_WITH_TIMEOUT(!paste->isEnabled(), 2000);
    clipboard->setText(QStringLiteral("de"));
    QTRY_VERIFY_WITH_TIMEOUT(paste->isEnabled(), 2000);
    auto* picture = new QMimeData;
    picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
    clipboard->setMimeData(picture);
    QTRY_VERIFY_WITH_TIMEOUT(!paste->isEnabled(), 2000);
}

void TestMainFrame::checksFollowTheSession()
{
    QTemporaryDir logs;
    QVERIFY(logs.isValid());
    Store().WriteProfileString(keys::kSettings, keys::kLogDirectory, logs.path());
    WireServer server;
    QVERIFY(server.Listen());
    PointAt(server.Port());
    Frame f;
    QVERIFY(f.Show());
    f.Action(ID_CONNECT)->trigger();
    QVERIFY(server.WaitForConnections(2));

    f.Action(ID_TRANSMISSION)->trigger();
    QVERIFY(f.Action(ID_TRANSMISSION)->isChecked());
    QVERIFY(f.frame->ToolBar()->Button(ID_TRANSMISSION)->isChecked());
    QVERIFY(server.WaitForBytes(1, 1));
    QCOMPARE(server.Received(1), QByteArray("\x01"));
    f.Action(ID_TRANSMISSION)->trigger();
    QVERIFY(!f.Action(ID_TRANSMISSION)->isChecked());

    f.Action(ID_RECORD_QSO)->trigger();
    QVERIFY(f.doc.IsLogging());
    QVERIFY(f.Action(ID_RECORD_QSO)->isChecked());

    // The server hangs up: everything of the session goes off and grey
    // without any command being given.
    f.Action(ID_TRANSMISSION)->trigger();
    QVERIFY(f.Action(ID_TRANSMISSION)->isChecked());
    server.Close(0);
    QTRY_VERIFY_WITH_TIMEOUT(!f.doc.IsConnected(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!f.Action(ID_TRANSMISSION)->isEnabled(), 5000);
    QVERIFY(!f.Action(ID_TRANSMISSION)->isChecked());
    QVERIFY(!f.Action(ID_RECORD_QSO)->isChecked());
    QVERIFY(!f.Action(ID_RECORD_QSO)->isEnabled());
    QVERIFY(f.Action(ID_CONNECT)->isEnabled());
    QCOMPARE(f.frame->windowTitle(), QStringLiteral("Varkel - Disconnected - Varkel"));
}

void TestMainFrame::toolbarRefreshFollowsTheDocument()
{
    Store().WriteProfileInt(keys::kSettings, keys::kToolbarInIE4Style, 1);
    Frame f;
    QVERIFY(f.Show());
    QCOMPARE(f.frame->ToolBar()->Button(ID_MACRO_F9)->text(), QString());
    // What the Setup dialog would store; the document then asks for a refresh.
    Store().WriteProfileString(keys::kSetup, keys::kF9Macro, "CQ CQ CQ DE");
    emit f.doc.refreshToolbarRequested();
    QCOMPARE(f.frame->ToolBar()->Button(ID_MACRO_F9)->text(), QStringLiteral("CQ CQ CQ D"));
}

void TestMainFrame::ie4StyleCommand()
{
    {
        Frame f;
        QVERIFY(f.Show());
        QAction* style = f.Action(ID_TOOLBAR_IE4_STYLE);
        QVERIFY(!style->isChecked());
        QVERIFY(!f.frame->ToolBar()->IsLabelled());
        const int classicHeight = f.frame->ToolBar()->height();

        style->trigger();
        QVERIFY(style->isChecked());
        QVERIFY(f.frame->IsToolbarIE4Style());
        QCOMPARE(Setting(keys::kToolbarInIE4Style), 1);
        QVERIFY(f.frame->ToolBar()->IsLabelled());
        QCOMPARE(f.frame->ToolBar()->Button(ID_CONNECT)->text(), QStringLiteral("Connect"));
        // The window is laid out around the taller bar.
        QTRY_VERIFY_WITH_TIMEOUT(f.frame->ToolBar()->height() > classicHeight, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(f.frame->Splitter()->geometry().top()
                                     >= f.frame->ToolBar()->geometry().bottom(),
                                 2000);

        style->trigger();
        QVERIFY(!style->isChecked());
        QCOMPARE(Setting(keys::kToolbarInIE4Style), 0);
        QVERIFY(!f.frame->ToolBar()->IsLabelled());
        QCOMPARE(f.frame->ToolBar()->Button(ID_CONNECT)->size(), QSize(23, 22));

        style->trigger();
        QCOMPARE(Setting(keys::kToolbarInIE4Style), 1);
    }
    // The next start comes up in the style last chosen, with its item checked.
    Frame again;
    QVERIFY(again.Show());
    QVERIFY(again.frame->IsToolbarIE4Style());
    QVERIFY(again.Action(ID_TOOLBAR_IE4_STYLE)->isChecked());
    QVERIFY(again.frame->ToolBar()->IsLabelled());
}

void TestMainFrame::refreshBeforeCreationDoesNothing()
{
    Store().WriteProfileInt(keys::kSettings, keys::kToolbarInIE4Style, 1);
    Frame f;
    QVERIFY(!f.frame->IsCreated());
    f.frame->RefreshToolbar();
    QCOMPARE(f.frame->ToolBar(), nullptr);
    QCOMPARE(f.frame->findChild<CLabelToolBar*>(), nullptr);

    QVERIFY(f.Create());
    QVERIFY(f.frame->IsCreated());
    QVERIFY(f.frame->ToolBar()->IsLabelled());
    Store().WriteProfileInt(keys::kSettings, keys::kToolbarInIE4Style, 0);
    f.frame->RefreshToolbar();
    QVERIFY(!f.frame->ToolBar()->IsLabelled());
}

void TestMainFrame::viewBarsCommands()
{
    Frame f;
    QVERIFY(f.Show());
    QAction* toolbar = f.Action(ID_VIEW_TOOLBAR);
    QAction* status = f.Action(ID_VIEW_STATUS_BAR);
    QVERIFY(toolbar->isChecked() && status->isChecked());

    toolbar->trigger();
    QVERIFY(!f.frame->ToolBar()->isVisible());
    QVERIFY(!toolbar->isChecked());
    status->trigger();
    QVERIFY(!f.frame->statusBar()->isVisible());
    QVERIFY(!status->isChecked());

    toolbar->trigger();
    status->trigger();
    QVERIFY(f.frame->ToolBar()->isVisible());
    QVERIFY(f.frame->statusBar()->isVisible());
    QVERIFY(toolbar->isChecked() && status->isChecked());

    // Hidden by other means (the bar's own close button when floating): the
    // item follows.
    f.frame->ToolBar()->hide();
    QTRY_VERIFY_WITH_TIMEOUT(!toolbar->isChecked(), 2000);
}

// ---- status bar ------------------------------------------------------------

void TestMainFrame::statusPrompts_data()
{
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<QString>("message");
    const QString idle = QStringLiteral("For Help, press F1");
    QTest::newRow("Connect") << ID_CONNECT << "Establish connection to Sondrel";
    QTest::newRow("Transmission") << ID_TRANSMISSION << "Activate Transmission";
    QTest::newRow("Exit") << ID_APP_EXIT << "Quit the application; prompts to save documents";
    QTest::newRow("IE4 style") << ID_TOOLBAR_IE4_STYLE << "Display Toolbar in IE4 style";
    QTest::newRow("Help Topics") << ID_HELP_FINDER << "List Help topics";
    QTest::newRow("About") << ID_APP_ABOUT
                           << "Display program information, version number and copyright";
    QTest::newRow("F9 has none") << ID_MACRO_F9 << idle;
    QTest::newRow("F12 has none") << ID_MACRO_F12 << idle;
}

void TestMainFrame::statusPrompts()
{
    QFETCH(unsigned, id);
    QFETCH(QString, message);
    Frame f;
    QVERIFY(f.Show());
    QStatusBar* bar = f.frame->statusBar();
    QCOMPARE(bar->currentMessage(), QStringLiteral("For Help, press F1"));

    // As when the pointer rests on the item or its button.
    f.Action(id)->showStatusText(f.frame->ToolBar());
    QCOMPARE(bar->currentMessage(), message);
    // And when it leaves.
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(f.frame.get(), &leave);
    QCOMPARE(bar->currentMessage(), QStringLiteral("For Help, press F1"));

    // What's This mode says so until it ends.
    f.Action(ID_CONTEXT_HELP)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(),
                              QStringLiteral("Select an object on which to get Help"), 2000);
    QWhatsThis::leaveWhatsThisMode();
    QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(), QStringLiteral("For Help, press F1"), 2000);
}

void TestMainFrame::lockKeyPanes()
{
    Frame f;
    QVERIFY(f.Show());
    CKeyIndicators* indicators = f.frame->findChild<CKeyIndicators*>();
    QVERIFY(indicators);
    QLabel* caps = indicators->Pane(ID_INDICATOR_CAPS);
    QLabel* num = indicators->Pane(ID_INDICATOR_NUM);
    QLabel* scroll = indicators->Pane(ID_INDICATOR_SCRL);
    QVERIFY(caps && num && scroll);
    // In order, left to right, at the right end of the bar.
    QVERIFY(caps->x() < num->x() && num->x() < scroll->x());
    QVERIFY(scroll->geometry().right() > f.frame->statusBar()->width() / 2);

    // This platform does not tell: greyed, with their names.
    QCOMPARE(caps->text(), QStringLiteral("CAP"));
    QCOMPARE(num->text(), QStringLiteral("NUM"));
    QCOMPARE(scroll->text(), QStringLiteral("SCRL"));
    QVERIFY(!caps->isEnabled() && !num->isEnabled() && !scroll->isEnabled());

    // Where it tells: a locked key shows its name, an unlocked one nothing.
    indicators->Show(fw::LockKeyState{true, false, true});
    QCOMPARE(caps->text(), QStringLiteral("CAP"));
    QCOMPARE(num->text(), QString());
    QCOMPARE(scroll->text(), QStringLiteral("SCRL"));
    QVERIFY(caps->isEnabled() && num->isEnabled() && scroll->isEnabled());
    QCOMPARE(num->accessibleDescription(), QStringLiteral("off"));
    // A temporary message does not hide them.
    f.frame->statusBar()->showMessage(QStringLiteral("working"));
    QVERIFY(caps->isVisible());
}

// ---- the program -----------------------------------------------------------

void TestMainFrame::startUpWithoutServer()
{
    PointAt(ClosedPort());
    ScriptedPrompter prompter;
    CVarkelApp app(&prompter);
    bool windowShownDuringQuestion = true;
    prompter.QueueAnswer(fw::MsgAnswer::Yes);  // try again: fails again
    prompter.QueueAnswer(fw::MsgAnswer::No, [&] {
        windowShownDuringQuestion = app.MainFrame() && app.MainFrame()->isVisible();
    });

    QVERIFY(app.InitInstance({QStringLiteral("varkel")}));
    QCOMPARE(prompter.asked.size(), 2);
    QCOMPARE(prompter.asked.value(0).text, QStringLiteral("Failed to connect to server\nTry again?"));
    QCOMPARE(prompter.asked.value(0).buttons, fw::MsgButtons::YesNo);
    QVERIFY(!windowShownDuringQuestion);

    CMainFrame* frame = app.MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QCOMPARE(frame->windowTitle(), QStringLiteral("Disconnected - Varkel"));
    // Without a link only what needs none is offered.
    for (unsigned id : {ID_CONNECT, ID_SETUP, ID_CLEAR_WINDOWS})
        QVERIFY2(frame->Action(id)->isEnabled(), qPrintable(frame->Action(id)->objectName()));
    for (unsigned id : {ID_TRANSMISSION, ID_ABORT_TRANSMISSION, ID_SEND_TEXTFILE, ID_RECORD_QSO,
                        ID_MACRO_F9, ID_MACRO_F10, ID_MACRO_F11, ID_MACRO_F12})
        QVERIFY2(!frame->Action(id)->isEnabled(), qPrintable(frame->Action(id)->objectName()));
    QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget() : frame->focusWidget(),
             frame->ReceiveView());
}

// The shell's command line: a switch nobody knows is passed over, and the
// program starts as without it.
void TestMainFrame::unknownSwitchesAreIgnored()
{
    WireServer server;
    QVERIFY(server.Listen());
    PointAt(server.Port());
    ScriptedPrompter prompter;
    CVarkelApp app(&prompter);
    QVERIFY(app.InitInstance({QStringLiteral("varkel"), QStringLiteral("-foo"), QStringLiteral("--bar=1")}));
    QVERIFY(server.WaitForConnections(2));
    QVERIFY(app.Document()->IsConnected());
    QVERIFY(prompter.asked.isEmpty());
    app.Document()->SetCloseWaitMs(0);
}

void TestMainFrame::startUpWithAFile()
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/qso-XXXXXX.txt"));
    QVERIFY(file.open());
    PointAt(ClosedPort());
    ScriptedPrompter prompter;
    CVarkelApp app(&prompter);
    QVERIFY(app.InitInstance({QStringLiteral("varkel"), file.fileName()}));
    // No connection is tried for a named document.
    QVERIFY(prompter.asked.isEmpty());
    QVERIFY(!app.Document()->IsConnected());
    QCOMPARE(app.MainFrame()->windowTitle(),
             QFileInfo(file.fileName()).fileName() + QStringLiteral(" - Varkel"));

    // A file that cannot be opened ends the program at start.
    ScriptedPrompter other;
    CVarkelApp failing(&other);
    QVERIFY(!failing.InitInstance({QStringLiteral("varkel"), file.fileName() + "-missing"}));
    QCOMPARE(other.asked.size(), 1);
    QVERIFY(!failing.MainFrame() || !failing.MainFrame()->isVisible());
}

// Last: the handler stays installed for the rest of the process.
void TestMainFrame::terminationSignalClosesAndStores()
{
    WireServer server;
    QVERIFY(server.Listen());
    PointAt(server.Port());
    StoreRect(QRect(30, 30, 500, 300));
    ScriptedPrompter prompter;
    auto app = std::make_unique<CVarkelApp>(&prompter);
    QVERIFY(app->InitInstance({QStringLiteral("varkel")}));
    CMainFrame* frame = app->MainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QVERIFY(server.WaitForConnections(2));
    app->Document()->SetCloseWaitMs(0);
    frame->Action(ID_TRANSMISSION)->trigger();
    QVERIFY(server.WaitForBytes(1, 1));

    const QRect moved(140, 110, 520, 360);
    frame->move(moved.topLeft());
    frame->resize(moved.size() - (frame->frameGeometry().size() - frame->size()));
    QTRY_COMPARE_WITH_TIMEOUT(frame->frameGeometry(), moved, 2000);

    QVERIFY(::raise(SIGTERM) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!frame->isVisible(), 5000);
    QCOMPARE(StoredRect(), moved);

    // Leaving ends the session: the transmitter is unkeyed before the links go.
    app.reset();
    QVERIFY(server.WaitForBytes(1, 2));
    QCOMPARE(server.Received(1), QByteArray("\x01\x02"));
}

VARKEL_TEST_MAIN(TestMainFrame, QApplication)
#include "tst_mainframe.moc"
