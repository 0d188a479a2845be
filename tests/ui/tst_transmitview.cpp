// The lower pane: what typing, composing and pasting show and put on the
// wire (checked at a real loopback server), the edit keys that stay local,
// and text the document sends on its own.

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
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

namespace {


// The pane's text with its breaks as they are: U+2029 ends a line, U+2028 is
// a bare line feed.
QString Raw(const CTransmitView& pane)
{
    return pane.document()->toRawText();
}

void SelectRange(CTransmitView& pane, int from, int to)
{
    QTextCursor cursor(pane.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    pane.setTextCursor(cursor);
}

} // namespace

class TestTransmitView : public QObject {
    Q_OBJECT
private slots:
    void typedKeys_data();
    void typedKeys();
    void ctrlALeavesTheSessionAlone();
    void typingWithoutLinkStillShows();
    void typedKeyOutranksWindowShortcut_data();
    void typedKeyOutranksWindowShortcut();
    void localEditKeys_data();
    void localEditKeys();
    void composedCharacters_data();
    void composedCharacters();
    void pasteSendsEveryByte_data();
    void pasteSendsEveryByte();
    void pasteReplacesTheSelection();
    void backspaceAfterPaste_data();
    void backspaceAfterPaste();
    void nothingToPaste();
    void largePasteIsCutAtItsEndAndSaid();
    void documentTextGoesToTheEnd();
    void rightButtonDoesNothing();
};

void TestTransmitView::typedKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caretAtStart");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("raw");   // the pane's text afterwards, from "ab"

    const QString lineEnd(QChar(QChar::ParagraphSeparator));
    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("letter") << int(Qt::Key_X) << none << "x" << false << QByteArray("x") << "abx";
    QTest::newRow("letter at the caret") << int(Qt::Key_X) << none << "x" << true << QByteArray("x") << "xab";
    QTest::newRow("e acute") << int(Qt::Key_Eacute) << none << "\u00E9" << false << QByteArray("\xE9")
                             << "ab\u00E9";
    QTest::newRow("euro sign") << int(Qt::Key_unknown) << none << "\u20AC" << false << QByteArray("\x80")
                               << "ab\u20AC";
    QTest::newRow("not in the code page") << int(Qt::Key_unknown) << none << "\u0142" << false << QByteArray()
                                          << "ab";
    QTest::newRow("Enter") << int(Qt::Key_Return) << none << "\r" << false << QByteArray("\r") << "ab" + lineEnd;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "\r" << false
                                  << QByteArray("\r") << "ab" + lineEnd;
    QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << "\r" << false
                                 << QByteArray("\r") << "ab" + lineEnd;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << "\b" << false << QByteArray("\b") << "a";
    QTest::newRow("Backspace at the start") << int(Qt::Key_Backspace) << none << "\b" << true
                                            << QByteArray("\b") << "ab";
    QTest::newRow("Tab") << int(Qt::Key_Tab) << none << "\t" << false << QByteArray("\t") << "ab\t";
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "" << false
                               << QByteArray("\t") << "ab\t";
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << "\x1b" << false << QByteArray("\x1b") << "ab";
    QTest::newRow("Ctrl+A") << int(Qt::Key_A) << ctrl << "" << false << QByteArray("\x01") << "ab";
    QTest::newRow("Ctrl+K at the start") << int(Qt::Key_K) << ctrl << "" << true << QByteArray("\x0b") << "ab";
    QTest::newRow("Ctrl+Y") << int(Qt::Key_Y) << ctrl << "" << false << QByteArray("\x19") << "ab";
    QTest::newRow("Ctrl+Shift+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier | Qt::ShiftModifier) << ""
                                  << false << QByteArray("\x1a") << "ab";
    QTest::newRow("Ctrl+H") << int(Qt::Key_H) << ctrl << "" << false << QByteArray("\b") << "a";
    QTest::newRow("Ctrl+I") << int(Qt::Key_I) << ctrl << "" << false << QByteArray("\t") << "ab\t";
    QTest::newRow("Ctrl+M") << int(Qt::Key_M) << ctrl << "" << false << QByteArray("\r") << "ab" + lineEnd;
    QTest::newRow("Ctrl+J") << int(Qt::Key_J) << ctrl << "" << false << QByteArray("\n") << "ab";
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << ctrl << "" << false << QByteArray("\n") << "ab";
    QTest::newRow("Ctrl+[") << int(Qt::Key_BracketLeft) << ctrl << "" << false << QByteArray("\x1b") << "ab";
    QTest::newRow("Ctrl+Space") << int(Qt::Key_Space) << ctrl << "" << false << QByteArray(" ") << "ab ";
    QTest::newRow("Ctrl+@ (Ctrl+Shift+2)") << int(Qt::Key_At) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                           << "" << false << QByteArray(1, '\0') << "ab";
    QTest::newRow("Ctrl+Backspace") << int(Qt::Key_Backspace) << ctrl << "" << false << QByteArray("\x7f")
                                    << "ab";
    QTest::newRow("Delete at the start") << int(Qt::Key_Delete) << none << "\x7f" << true << QByteArray()
                                         << "b";
    QTest::newRow("Left") << int(Qt::Key_Left) << none << "" << false << QByteArray() << "ab";
    QTest::newRow("Alt+X") << int(Qt::Key_X) << int(Qt::AltModifier) << "x" << false << QByteArray() << "ab";
}

// One key, one byte at most, and the pane shows it the way an editor would;
// the editor's own bindings of those keys never get in the way.
void TestTransmitView::typedKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(bool, caretAtStart);
    QFETCH(QByteArray, sent);
    QFETCH(QString, raw);

    Panes panes;
    QVERIFY(panes.Connect());
    panes.Feed(hint::kTransmitted, "ab");
    if (caretAtStart)
        panes.transmit.moveCursor(QTextCursor::Start);

    QTest::sendKeyEvent(QTest::Click, &panes.transmit, Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));

    QCOMPARE(Raw(panes.transmit), raw);
    QCOMPARE(panes.SentBeforeMarker(), sent);
    QVERIFY(panes.receive.Text().isEmpty());
}

// Ctrl+A is a typed 0x01 like any other byte, even though the server reads
// the same byte as the Transmission switch: the session's own state stays.
void TestTransmitView::ctrlALeavesTheSessionAlone()
{
    Panes panes;
    QVERIFY(panes.Connect());
    panes.doc.OnTransmission();
    QVERIFY(panes.doc.IsTransmitting());
    QVERIFY(panes.server.WaitForBytes(1, 1));

    QTest::keyClick(&panes.transmit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&panes.transmit, Qt::Key_A, Qt::ControlModifier);

    QVERIFY(panes.doc.IsTransmitting());
    QCOMPARE(panes.SentBeforeMarker(), QByteArray("\x01\x01\x01"));
}

void TestTransmitView::typingWithoutLinkStillShows()
{
    Panes panes;
    QTest::keyClicks(&panes.transmit, "qrz?");
    QTest::keyClick(&panes.transmit, Qt::Key_Backspace);
    QCOMPARE(panes.transmit.Text(), QStringLiteral("qrz"));
    QVERIFY(panes.prompter.asked.isEmpty());
}

void TestTransmitView::typedKeyOutranksWindowShortcut_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("Ctrl+A") << int(Qt::Key_A) << int(Qt::ControlModifier) << QByteArray("\x01");
    QTest::newRow("Ctrl+Shift+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                  << QByteArray("\x1a");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << QByteArray("\x1b");
    QTest::newRow("letter") << int(Qt::Key_Q) << int(Qt::NoModifier) << QByteArray("q");
}

// A shortcut elsewhere in the window on a key that types does not take it
// from the pane.
void TestTransmitView::typedKeyOutranksWindowShortcut()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, sent);

    QWidget window;
    Panes panes;   // goes before the window that holds its pane
    panes.transmit.setParent(&window);
    QAction command(&window);
    command.setShortcut(QKeySequence(QKeyCombination(Qt::KeyboardModifiers(modifiers), Qt::Key(key))));
    window.addAction(&command);
    int runs = 0;
    connect(&command, &QAction::triggered, &window, [&runs] { ++runs; });
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(panes.Connect());
    panes.transmit.setFocus();

    QTest::keyClick(&panes.transmit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(runs, 0);
    QCOMPARE(panes.SentBeforeMarker(), sent);
}

void TestTransmitView::localEditKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("text");

    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << "bc" << "abc";
    QTest::newRow("Ctrl+Insert") << int(Qt::Key_Insert) << int(Qt::ControlModifier) << "bc" << "abc";
    QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier) << "bc" << "a";
    QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << "bc" << "a";
    QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier) << "before" << "";
    QTest::newRow("Alt+Backspace") << int(Qt::Key_Backspace) << int(Qt::AltModifier) << "before" << "";
}

// Copy, cut and undo change the pane and the clipboard; nothing goes out.
void TestTransmitView::localEditKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, clipboard);
    QFETCH(QString, text);

    Panes panes;
    QVERIFY(panes.Connect());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::keyClicks(&panes.transmit, "abc");
    SelectRange(panes.transmit, 1, 3);

    QTest::keyClick(&panes.transmit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QCOMPARE(panes.transmit.Text(), text);
    QCOMPARE(panes.SentBeforeMarker(), QByteArray("abc"));
}

void TestTransmitView::composedCharacters_data()
{
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("text");
    QTest::newRow("dead key e acute") << "\u00E9" << QByteArray("\xE9") << "ab\u00E9";
    QTest::newRow("two characters") << "\u00FC\u00DF" << QByteArray("\xFC\xDF") << "ab\u00FC\u00DF";
    QTest::newRow("not in the code page") << "\u4E2D" << QByteArray() << "ab";
    QTest::newRow("partly in the code page") << "a\u4E2Db" << QByteArray("ab") << "abab";
}

// An input method first shows its composition, which goes nowhere, then
// commits the characters, which are typed.
void TestTransmitView::composedCharacters()
{
    QFETCH(QString, commit);
    QFETCH(QByteArray, sent);
    QFETCH(QString, text);

    Panes panes;
    QVERIFY(panes.Connect());
    QTest::keyClicks(&panes.transmit, "ab");

    QInputMethodEvent composing(QStringLiteral("~"), {});
    QApplication::sendEvent(&panes.transmit, &composing);
    QCOMPARE(panes.transmit.Text(), QStringLiteral("ab"));
    QInputMethodEvent committed;
    committed.setCommitString(commit);
    QApplication::sendEvent(&panes.transmit, &committed);

    QCOMPARE(panes.transmit.Text(), text);
    QCOMPARE(panes.transmit.textCursor().block().layout()->preeditAreaText(), QString());
    QCOMPARE(panes.SentBeforeMarker(), "ab" + sent);
}

void TestTransmitView::pasteSendsEveryByte_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("text");

    QTest::newRow("two characters and a line end") << "ab\n" << QByteArray("ab\r\n") << "ab\n";
    QTest::newRow("CR LF line end") << "ab\r\n" << QByteArray("ab\r\n") << "ab\n";
    QTest::newRow("lone CR goes out as it is") << "a\rb\r" << QByteArray("a\rb\r") << "a\nb\n";
    QTest::newRow("several lines") << "one\ntwo\r\nthree" << QByteArray("one\r\ntwo\r\nthree")
                                   << "one\ntwo\nthree";
    QTest::newRow("code page") << "\u00E9\u20AC" << QByteArray("\xE9\x80") << "\u00E9\u20AC";
    QTest::newRow("not in the code page") << "a\u03A9b" << QByteArray("ab") << "ab";
    QTest::newRow("tab") << "x\ty" << QByteArray("x\ty") << "x\ty";
    QTest::newRow("ends at the first zero") << QString::fromUtf16(u"ab\0cd\n", 6) << QByteArray("ab")
                                            << "ab";
}

// Paste, from the command or either key: shown once, every byte sent.
void TestTransmitView::pasteSendsEveryByte()
{
    QFETCH(QString, clipboard);
    QFETCH(QByteArray, sent);
    QFETCH(QString, text);

    enum class Way { Command, CtrlV, ShiftInsert };
    for (const Way way : {Way::Command, Way::CtrlV, Way::ShiftInsert}) {
        Panes panes;
        QVERIFY(panes.Connect());
        QGuiApplication::clipboard()->setText(clipboard);
        QVERIFY(panes.transmit.CanPaste());
        switch (way) {
        case Way::Command:
            panes.transmit.EditPaste();
            break;
        case Way::CtrlV:
            QTest::keyClick(&panes.transmit, Qt::Key_V, Qt::ControlModifier);
            break;
        case Way::ShiftInsert:
            QTest::keyClick(&panes.transmit, Qt::Key_Insert, Qt::ShiftModifier);
            break;
        }
        QCOMPARE(panes.transmit.Text(), text);
        QCOMPARE(panes.SentBeforeMarker(), sent);
        QVERIFY(panes.prompter.asked.isEmpty());
        QVERIFY(panes.receive.Text().isEmpty());
    }
}

void TestTransmitView::pasteReplacesTheSelection()
{
    Panes panes;
    QVERIFY(panes.Connect());
    QTest::keyClicks(&panes.transmit, "hello");
    SelectRange(panes.transmit, 1, 4);
    QGuiApplication::clipboard()->setText(QStringLiteral("A"));

    panes.transmit.EditPaste();

    QCOMPARE(panes.transmit.Text(), QStringLiteral("hAo"));
    QCOMPARE(panes.transmit.textCursor().position(), 2);
    QCOMPARE(panes.SentBeforeMarker(), QByteArray("helloA"));
}

void TestTransmitView::backspaceAfterPaste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("typed");   // else a backspace in the document's text
    QTest::addColumn<QString>("text");

    QTest::newRow("bare line feed, sent backspace") << "ab\n" << false << "a";
    QTest::newRow("CR LF, sent backspace") << "ab\r\n" << false << "ab";
    QTest::newRow("no line end, sent backspace") << "ab" << false << "a";
    QTest::newRow("lone bare line feed, sent backspace") << "\n" << false << "";
    QTest::newRow("bare line feed, typed backspace") << "ab\n" << true << "ab";
}

// A line feed pasted without a carriage return is no whole line end: a
// backspace the document shows takes it together with the character before.
void TestTransmitView::backspaceAfterPaste()
{
    QFETCH(QString, clipboard);
    QFETCH(bool, typed);
    QFETCH(QString, text);

    Panes panes;
    QGuiApplication::clipboard()->setText(clipboard);
    panes.transmit.EditPaste();
    if (typed)
        QTest::keyClick(&panes.transmit, Qt::Key_Backspace);
    else
        panes.Feed(hint::kTransmitted, "\b");
    QCOMPARE(panes.transmit.Text(), text);
}

// The terminal holds only so much beyond what the system has taken: the
// rest of a paste is cut at its end, shown and sent alike, and said.
void TestTransmitView::largePasteIsCutAtItsEndAndSaid()
{
    Panes panes;
    QVERIFY(panes.Connect());
    QString text;
    for (int i = 0; i < 3 * CVarkelDoc::kTransmitQueueLimit; ++i)
        text += QChar(i % 61 == 60 ? u'\n' : char16_t(u'a' + i % 26));
    QGuiApplication::clipboard()->setText(text);
    panes.transmit.EditPaste();

    QCOMPARE(panes.prompter.asked.size(), 1);
    const QByteArray sent = panes.SentBeforeMarker();
    QVERIFY(sent.size() <= CVarkelDoc::kTransmitQueueLimit);
    QVERIFY(sent.size() > CVarkelDoc::kTransmitQueueLimit - 2);
    QCOMPARE(panes.prompter.asked[0].text, QStringLiteral("Paste has been cut to %1 characters!").arg(sent.size()));
    QString shown = panes.transmit.Text();
    QVERIFY(shown.endsWith(u'#'));
    shown.chop(1);
    QVERIFY(text.startsWith(shown));
    QCOMPARE(QByteArray(shown.toLatin1()).replace("\n", "\r\n"), sent);
}

void TestTransmitView::nothingToPaste()
{
    Panes panes;
    QVERIFY(panes.Connect());
    QTest::keyClicks(&panes.transmit, "ab");
    QGuiApplication::clipboard()->clear();
    QVERIFY(!panes.transmit.CanPaste());
    QVERIFY(!panes.receive.CanPaste());

    // The keys find the command disabled; the command itself says why.
    QTest::keyClick(&panes.transmit, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(panes.prompter.asked.isEmpty());
    panes.transmit.EditPaste();

    QCOMPARE(panes.prompter.asked.size(), 1);
    QCOMPARE(panes.prompter.asked.first().text, QStringLiteral("Unable to set Clipboard data"));
    QCOMPARE(panes.transmit.Text(), QStringLiteral("ab"));
    QCOMPARE(panes.SentBeforeMarker(), QByteArray("ab"));
}

// Macro text goes at the end wherever the operator's caret is; typing goes
// on at the caret, which then stands at the end.
void TestTransmitView::documentTextGoesToTheEnd()
{
    Panes panes;
    QVERIFY(panes.Connect());
    QTest::keyClicks(&panes.transmit, "hello");
    SelectRange(panes.transmit, 1, 3);

    panes.doc.SendString("XY\r\n");
    QCOMPARE(panes.transmit.Text(), QStringLiteral("helloXY\n"));
    QVERIFY(!panes.transmit.textCursor().hasSelection());
    QTest::keyClicks(&panes.transmit, "z");
    QCOMPARE(panes.transmit.Text(), QStringLiteral("helloXY\nz"));

    panes.transmit.moveCursor(QTextCursor::Start);
    panes.doc.SendString("\b\bQ");
    QCOMPARE(panes.transmit.Text(), QStringLiteral("helloXYQ"));
    QCOMPARE(panes.SentBeforeMarker(), QByteArray("helloXY\r\nz\b\bQ"));
}

void TestTransmitView::rightButtonDoesNothing()
{
    Panes panes;
    panes.transmit.resize(300, 100);
    panes.transmit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panes.transmit));
    QTest::keyClicks(&panes.transmit, "abc");
    const QPoint start = panes.transmit.cursorRect(QTextCursor(panes.transmit.document())).center();

    QTest::mouseClick(panes.transmit.viewport(), Qt::RightButton, {}, start);
    QCOMPARE(panes.transmit.textCursor().position(), 3);

    bool looked = false;
    QWidget* popup = nullptr;
    QTimer::singleShot(0, &panes.transmit, [&] {
        looked = true;
        popup = QApplication::activePopupWidget();
        if (popup)
            popup->close();
    });
    QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, start, panes.transmit.viewport()->mapToGlobal(start));
    QApplication::sendEvent(panes.transmit.viewport(), &menuRequest);
    QTRY_VERIFY(looked);
    QVERIFY(!popup);

    // The same spot under the left button does move the caret.
    QTest::mouseClick(panes.transmit.viewport(), Qt::LeftButton, {}, start);
    QCOMPARE(panes.transmit.textCursor().position(), 0);
}

VARKEL_TEST_MAIN(TestTransmitView, QApplication)
#include "tst_transmitview.moc"
