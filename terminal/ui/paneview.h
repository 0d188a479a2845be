#pragma once
// Common ground of the two panes: a plain-text view of the session document
// that adds the characters of one hint kind at the end of its text and
// empties itself on the clear hint. The hints of one burst become a single
// edit, because every edit costs a relayout of the line it touches.

#include "document.h"

#include <QPlainTextEdit>
#include <QString>

class CVarkelDoc;
class QKeyEvent;
class QTextBlock;
class QTextCursor;

class CPaneView : public QPlainTextEdit, public fw::CView {
    Q_OBJECT
public:
    // Beyond this the oldest lines go: about 25 hours of copy at 50
    // characters a second, some 40 MB. Not just under a power of two: the text
    // store grows in powers of two and is compacted, at a cost that grows with
    // its size, once 90 % full, which right under one would be at every burst.
    static constexpr int kDefaultMaxCharacters = 4'500'000;
    // Every line costs memory whatever it holds (a text block, or its entry
    // in the layout of the block it shares): a storm of line ends would fill
    // memory long before the character limit is reached. 100,000 lines are
    // more than a day of ordinary copy.
    static constexpr int kDefaultMaxLines = 100'000;

    void OnUpdate(fw::CView* sender, quint32 hint) override;
    void OnBeginUpdateBatch() override;
    void OnEndUpdateBatch() override;

    // The text as it would be copied: one "\n" for every line end.
    QString Text() const;

    // The paste command is enabled while the clipboard holds text.
    bool CanPaste() const;

    void SetMaxCharacters(int count);
    int MaxCharacters() const { return m_maxCharacters; }
    void SetMaxLines(int count);
    int MaxLines() const { return m_maxLines; }
    // Line ends and pieces of long lines alike.
    int LineCount() const;

protected:
    CPaneView(CVarkelDoc* doc, quint32 hintKind, QWidget* parent);

    CVarkelDoc* Document() const;

    // Lines longer than this are stored in pieces (0: never). A line held as
    // one block is laid out anew on every change, at a cost that grows with
    // its length; pieces keep that cost flat in a pane that wraps anyway.
    // Such a pane also keeps short lines together in one block, a line end
    // inside it being a line separator.
    void SetPieceLength(int length);

    // Shows what an open burst has collected so far, so that an edit of the
    // operator's lands after it, as it would without the batching.
    void FlushPending();
    // Lets the editor move the caret, select or delete for a key, with the
    // key's text taken off so that nothing is typed past the pane's own rules.
    void KeyWithoutText(QKeyEvent* event);
    // Drops the oldest whole lines beyond the limits.
    void TrimOldText();

    QMimeData* createMimeDataFromSelection() const override;
    bool focusNextPrevChild(bool next) override;

private:
    void AddChar(unsigned char ch);
    void ClearText();
    int StartOfLastCharacter(int end) const;
    bool IsPieceBreakAt(int position) const;
    bool StartsPiece(const QTextBlock& block) const;
    // Returns the line ends it put inside blocks.
    int AppendText(QTextCursor& cursor, QStringView text) const;
    int LineStartFrom(int position) const;
    int StartOfLine(int line) const;
    int SharedLineEndsBetween(int from, int to) const;
    QString TextBetween(int from, int to) const;

    quint32 m_hintKind;
    int m_batchDepth = 0;
    // A burst's effect not yet in the text: this many backspaces against the
    // text, then this string added at its end.
    int m_pendingBackspaces = 0;
    QString m_pending;
    bool m_caretToEnd = false;
    int m_maxCharacters = kDefaultMaxCharacters;
    int m_maxLines = kDefaultMaxLines;
    // Line ends inside blocks (a pane of pieces keeps short lines together).
    int m_sharedLineEnds = 0;
    int m_pieceLength = 0;
};
