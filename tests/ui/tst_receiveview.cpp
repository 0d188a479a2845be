// The upper pane, and the character rules both panes share: received text,
// hint by hint and in bursts, the clear hint, old text dropped at the limit,
// and a pane the operator can read and copy from but not type into.

#include "hints.h"
#include "panesfixture.h"
#include "receiveview.h"
#include "scriptedprompter.h"
#include "settingsstore.h"
#include "testenv.h"
#include "transmitview.h"
#include "varkeldoc.h"
#include "wireserver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

#include <optional>

namespace {


// Words with spaces, as long received lines usually are.
QByteArray Words(int length)
{
    QByteArray text;
    for (int i = 0; text.size() < length; ++i)
        text += (i % 7 == 6) ? ' ' : char('a' + i % 26);
    return text.left(length);
}

int CaretPosition(const CPaneView& pane)
{
    return pane.textCursor().position();
}

int EndPosition(const CPaneView& pane)
{
    return pane.document()->characterCount() - 1;
}

} // namespace

class TestReceiveView : public QObject {
    Q_OBJECT
private slots:
    void characterRules_data();
    void characterRules();
    void newTextGoesToTheEnd_data();
    void newTextGoesToTheEnd();
    void otherHintsAreIgnored_data();
    void otherHintsAreIgnored();
    void clearEmptiesBothPanes_data();
    void clearEmptiesBothPanes();
    void oldLinesAreDroppedAtTheLimit();
    void longLineIsTrimmedToItsNewestPart();
    void lineEndStormIsBoundedByLines_data();
    void lineEndStormIsBoundedByLines();
    void copyGivesTheTextAsReceived();
    void typingChangesAndSendsNothing();
    void pasteChangesAndSendsNothing();
    void windowCommandsStillReachTheirKeys_data();
    void windowCommandsStillReachTheirKeys();
};

void TestReceiveView::characterRules_data()
{
    QTest::addColumn<QByteArray>("before");   // an earlier burst
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QByteArray longLine = Words(1500);
    const QByteArray noSpaces(1200, 'x');

    QTest::newRow("A B CR LF C") << QByteArray() << QByteArray("AB\r\nC") << QStringLiteral("AB\nC");
    QTest::newRow("line feeds add nothing") << QByteArray() << QByteArray("\n\nA\n") << QStringLiteral("A");
    QTest::newRow("carriage returns") << QByteArray() << QByteArray("A\r\rB") << QStringLiteral("A\n\nB");
    QTest::newRow("backspace after line end") << QByteArray() << QByteArray("AB\r\b")
                                              << QStringLiteral("AB");
    QTest::newRow("backspace after line end, earlier burst") << QByteArray("AB\r\n") << QByteArray("\b")
                                                             << QStringLiteral("AB");
    QTest::newRow("second backspace") << QByteArray("AB\r\n") << QByteArray("\b\b") << QStringLiteral("A");
    QTest::newRow("backspace into empty pane") << QByteArray() << QByteArray("\b") << QString();
    QTest::newRow("backspaces past the start") << QByteArray("AB") << QByteArray("\b\b\bC")
                                               << QStringLiteral("C");
    QTest::newRow("burst, then text before it") << QByteArray("ABC") << QByteArray("X\b\b\bY")
                                                << QStringLiteral("AY");
    QTest::newRow("0xE9") << QByteArray() << QByteArray("\xE9") << QStringLiteral("\u00E9");
    QTest::newRow("0x80 and 0x9F") << QByteArray() << QByteArray("\x80\x9F")
                                   << QStringLiteral("\u20AC\u0178");
    QTest::newRow("zero byte") << QByteArray() << QByteArray("A\0B", 3) << QStringLiteral("AB");
    QTest::newRow("long line") << QByteArray() << longLine << QString::fromLatin1(longLine);
    QTest::newRow("long line, earlier burst") << longLine.left(700) << longLine.mid(700)
                                              << QString::fromLatin1(longLine);
    QTest::newRow("backspaces into a long line")
        << QByteArray() << noSpaces + QByteArray(300, '\b') << QString(900, u'x');
    QTest::newRow("backspaces into a long line, earlier burst")
        << noSpaces << QByteArray(300, '\b') << QString(900, u'x');
    QTest::newRow("line end after a long line")
        << longLine << QByteArray("\r\nz") << QString::fromLatin1(longLine + "\nz");
    QTest::newRow("backspace after a long line's end")
        << longLine + "\r" << QByteArray("\b") << QString::fromLatin1(longLine);
}

// The same bytes give the same text whether they come hint by hint or in one
// burst, in either pane.
void TestReceiveView::characterRules()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    for (const quint32 kind : {hint::kReceived, hint::kTransmitted}) {
        for (const bool asBurst : {false, true}) {
            Panes panes;
            panes.Feed(kind, before, asBurst);
            panes.Feed(kind, bytes, asBurst);
            const QString where = QStringLiteral("%1 pane, %2")
                                      .arg(kind == hint::kReceived ? "receive" : "transmit",
                                           asBurst ? "one burst" : "hint by hint");
            QVERIFY2(panes.PaneOf(kind).Text() == expected, qPrintable(where));
            QVERIFY2(panes.OtherThan(kind).Text().isEmpty(), qPrintable(where));
            QVERIFY2(CaretPosition(panes.PaneOf(kind)) == EndPosition(panes.PaneOf(kind)),
                     qPrintable(where));
        }
    }
}

void TestReceiveView::newTextGoesToTheEnd_data()
{
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("selectTo");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("caretToEnd");

    QTest::newRow("selection, then a character") << 1 << 3 << QByteArray("X") << QStringLiteral("hello\nthereX")
                                                 << true;
    QTest::newRow("caret at the start, then a character") << 0 << 0 << QByteArray("X")
                                                          << QStringLiteral("hello\nthereX") << true;
    QTest::newRow("selection, then a backspace") << 0 << 5 << QByteArray("\b")
                                                 << QStringLiteral("hello\nther") << true;
    QTest::newRow("caret at the start, then a zero byte") << 0 << 0 << QByteArray(1, '\0')
                                                          << QStringLiteral("hello\nthere") << true;
    QTest::newRow("selection, then a line feed") << 1 << 3 << QByteArray("\n")
                                                 << QStringLiteral("hello\nthere") << false;
}

void TestReceiveView::newTextGoesToTheEnd()
{
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QFETCH(bool, caretToEnd);

    Panes panes;
    panes.Feed(hint::kReceived, "hello\r\nthere", true);
    QTextCursor selection(panes.receive.document());
    selection.setPosition(selectFrom);
    selection.setPosition(selectTo, QTextCursor::KeepAnchor);
    panes.receive.setTextCursor(selection);

    panes.Feed(hint::kReceived, bytes, false);

    QCOMPARE(panes.receive.Text(), expected);
    if (caretToEnd) {
        QVERIFY(!panes.receive.textCursor().hasSelection());
        QCOMPARE(CaretPosition(panes.receive), EndPosition(panes.receive));
    } else {
        QCOMPARE(panes.receive.textCursor().selectionStart(), selectFrom);
        QCOMPARE(panes.receive.textCursor().selectionEnd(), selectTo);
    }
}

void TestReceiveView::otherHintsAreIgnored_data()
{
    QTest::addColumn<quint32>("hintValue");
    QTest::newRow("first update's 0") << quint32(0);
    QTest::newRow("transmitted character") << hint::Make(hint::kTransmitted, 'Q');
    QTest::newRow("unknown kind") << hint::Make(0x1003, 'Q');
    QTest::newRow("kind 0 with a character") << quint32('Q');
}

void TestReceiveView::otherHintsAreIgnored()
{
    QFETCH(quint32, hintValue);
    Panes panes;
    panes.Feed(hint::kReceived, "abc", false);
    panes.receive.moveCursor(QTextCursor::Start);

    panes.doc.UpdateAllViews(nullptr, hintValue);

    QCOMPARE(panes.receive.Text(), QStringLiteral("abc"));
    QCOMPARE(CaretPosition(panes.receive), 0);
}

void TestReceiveView::clearEmptiesBothPanes_data()
{
    QTest::addColumn<bool>("asBurst");
    QTest::newRow("hint by hint") << false;
    QTest::newRow("inside a burst") << true;
}

void TestReceiveView::clearEmptiesBothPanes()
{
    QFETCH(bool, asBurst);
    Panes panes;
    panes.Feed(hint::kReceived, "received\r\n", false);
    panes.Feed(hint::kTransmitted, "sent\r\n", false);

    {
        std::optional<fw::CDocument::UpdateBatch> batch;
        if (asBurst)
            batch.emplace(panes.doc);
        panes.doc.UpdateAllViews(nullptr, hint::Make(hint::kReceived, 'x'));
        panes.doc.OnClearWindows();
        QCOMPARE(panes.receive.Text(), QString());
        QCOMPARE(panes.transmit.Text(), QString());
        panes.doc.UpdateAllViews(nullptr, hint::Make(hint::kReceived, 'y'));
    }
    QCOMPARE(panes.receive.Text(), QStringLiteral("y"));
    QCOMPARE(panes.transmit.Text(), QString());
}

void TestReceiveView::oldLinesAreDroppedAtTheLimit()
{
    Panes panes;
    panes.receive.SetMaxCharacters(100);
    QString all;
    for (int i = 0; i < 10; ++i) {
        const QByteArray line = QByteArray("line ") + QByteArray::number(i) + QByteArray(23, '.');
        panes.Feed(hint::kReceived, line + "\r\n", i % 2 == 0);
        all += QString::fromLatin1(line) + u'\n';
    }
    // 30 characters a line: three whole lines fit in 100.
    QCOMPARE(panes.receive.Text(), all.right(90));
    QCOMPARE(CaretPosition(panes.receive), EndPosition(panes.receive));
}

void TestReceiveView::lineEndStormIsBoundedByLines_data()
{
    QTest::addColumn<quint32>("kind");
    QTest::addColumn<QByteArray>("pattern");
    QTest::newRow("received a CR") << hint::kReceived << QByteArray("a\r");
    QTest::newRow("received CR LF") << hint::kReceived << QByteArray("\r\n");
    QTest::newRow("transmitted a CR") << hint::kTransmitted << QByteArray("a\r");
}

// Every block costs memory whatever it holds: a stream of line ends, far
// below the character limit, leaves the pane with a bounded number of them
// and the newest lines.
void TestReceiveView::lineEndStormIsBoundedByLines()
{
    QFETCH(quint32, kind);
    QFETCH(QByteArray, pattern);
    Panes panes;
    const int lines = CPaneView::kDefaultMaxLines + 5000;
    QByteArray burst;
    for (int i = 0; i < 2048; ++i)
        burst += pattern;
    for (int fed = 0; fed < lines; fed += 2048)
        panes.Feed(kind, burst, true);
    panes.Feed(kind, "last", true);

    CPaneView& pane = panes.PaneOf(kind);
    const QTextDocument* doc = pane.document();
    QVERIFY(doc->blockCount() <= CPaneView::kDefaultMaxLines);
    QVERIFY(doc->characterCount() < CPaneView::kDefaultMaxCharacters);
    const QString text = pane.Text();
    QVERIFY(text.count(u'\n') < CPaneView::kDefaultMaxLines);
    QVERIFY(text.count(u'\n') > CPaneView::kDefaultMaxLines - 2048);
    QVERIFY(text.endsWith(pattern == "a\r" ? QStringLiteral("a\na\nlast") : QStringLiteral("\n\nlast")));
    QCOMPARE(CaretPosition(pane), EndPosition(pane));
}

void TestReceiveView::longLineIsTrimmedToItsNewestPart()
{
    Panes panes;
    panes.receive.SetMaxCharacters(2000);
    const QByteArray line = Words(9000);
    for (int at = 0; at < line.size(); at += 1000)
        panes.Feed(hint::kReceived, line.mid(at, 1000), true);

    const QString kept = panes.receive.Text();
    QVERIFY(kept.size() <= 2000);
    // Whole pieces go, so at most one piece more than needed.
    QVERIFY(kept.size() >= 2000 - CReceiveView::kPieceLength - 16);
    QCOMPARE(kept, QString::fromLatin1(line.right(kept.size())));
}

void TestReceiveView::copyGivesTheTextAsReceived()
{
    Panes panes;
    const QByteArray line = Words(3000);
    panes.Feed(hint::kReceived, "FIRST\r\n" + line + "\r\nLAST", true);
    panes.receive.selectAll();
    panes.receive.EditCopy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1("FIRST\n" + line + "\nLAST"));

    // From inside the first line to inside the last, by the keyboard's copy key.
    panes.receive.moveCursor(QTextCursor::End);
    QVERIFY(panes.receive.find(QStringLiteral("IRST"), QTextDocument::FindBackward));
    QTextCursor part = panes.receive.textCursor();
    part.setPosition(EndPosition(panes.receive) - 2, QTextCursor::KeepAnchor);
    panes.receive.setTextCursor(part);
    QTest::keyClick(&panes.receive, Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1("IRST\n" + line + "\nLA"));
}

void TestReceiveView::typingChangesAndSendsNothing()
{
    Panes panes;
    QVERIFY(panes.Connect());
    panes.Feed(hint::kReceived, "seen", true);
    panes.receive.moveCursor(QTextCursor::Start);

    QTest::keyClicks(&panes.receive, "typed");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Escape})
        QTest::keyClick(&panes.receive, key);
    QTest::keyClick(&panes.receive, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&panes.receive, Qt::Key_K, Qt::ControlModifier);
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00E9"));
    QApplication::sendEvent(&panes.receive, &composed);

    QCOMPARE(panes.receive.Text(), QStringLiteral("seen"));
    QVERIFY(!panes.receive.textCursor().hasSelection());
    QCOMPARE(panes.SentBeforeMarker(), QByteArray());

    // Moving and selecting by keyboard still work, for a copy without the mouse.
    QTest::keyClick(&panes.receive, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&panes.receive, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&panes.receive, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("se"));
}

void TestReceiveView::pasteChangesAndSendsNothing()
{
    Panes panes;
    QVERIFY(panes.Connect());
    panes.Feed(hint::kReceived, "seen", true);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted\n"));
    QVERIFY(panes.receive.CanPaste());

    panes.receive.EditPaste();
    QTest::keyClick(&panes.receive, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&panes.receive, Qt::Key_Insert, Qt::ShiftModifier);
    panes.receive.EditCut();
    panes.receive.EditUndo();

    QCOMPARE(panes.receive.Text(), QStringLiteral("seen"));
    QCOMPARE(panes.transmit.Text(), QString());
    QCOMPARE(panes.SentBeforeMarker(), QByteArray());
    QVERIFY(panes.prompter.asked.isEmpty());
}

void TestReceiveView::windowCommandsStillReachTheirKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("F5") << int(Qt::Key_F5) << int(Qt::NoModifier);
    QTest::newRow("F6") << int(Qt::Key_F6) << int(Qt::NoModifier);
    QTest::newRow("Shift+F6") << int(Qt::Key_F6) << int(Qt::ShiftModifier);
    QTest::newRow("F9") << int(Qt::Key_F9) << int(Qt::NoModifier);
    QTest::newRow("F12") << int(Qt::Key_F12) << int(Qt::NoModifier);
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << int(Qt::ControlModifier);
    QTest::newRow("Alt+Backspace") << int(Qt::Key_Backspace) << int(Qt::AltModifier);
}

// A window command bound to a key runs whichever pane has the focus.
void TestReceiveView::windowCommandsStillReachTheirKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);

    QWidget window;
    Panes panes;   // goes before the window that holds its panes
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(&panes.receive);
    layout->addWidget(&panes.transmit);
    QAction command(&window);
    command.setShortcut(QKeySequence(QKeyCombination(Qt::KeyboardModifiers(modifiers), Qt::Key(key))));
    window.addAction(&command);
    int runs = 0;
    connect(&command, &QAction::triggered, &window, [&runs] { ++runs; });
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    for (CPaneView* pane : {static_cast<CPaneView*>(&panes.receive), static_cast<CPaneView*>(&panes.transmit)}) {
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    }
    QCOMPARE(runs, 2);
    QCOMPARE(panes.transmit.Text(), QString());
}

VARKEL_TEST_MAIN(TestReceiveView, QApplication)
#include "tst_receiveview.moc"
