#include "paneview.h"

#include "codepage.h"
#include "hints.h"
#include "varkeldoc.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// Marks the block break that only cuts a long line into pieces: it is no
// character of the pane's text.
constexpr int kPieceBreakProperty = QTextFormat::UserProperty + 1;

// How far back a piece break looks for a space, so that it falls where the
// line could have wrapped.
constexpr int kSpaceReach = 64;

// In a pane of pieces, lines share a block until it holds this many characters.
constexpr int kLineGroupLength = 512;

// The changes the document makes are not the operator's to undo; the edit
// history the operator had is dropped with them.
class NonUndoableEdit {
public:
    explicit NonUndoableEdit(QTextDocument* doc) : m_doc(doc), m_undo(doc->isUndoRedoEnabled())
    {
        if (m_undo)
            m_doc->setUndoRedoEnabled(false);
    }
    ~NonUndoableEdit()
    {
        if (m_undo)
            m_doc->setUndoRedoEnabled(true);
    }
    NonUndoableEdit(const NonUndoableEdit&) = delete;
    NonUndoableEdit& operator=(const NonUndoableEdit&) = delete;

private:
    QTextDocument* m_doc;
    bool m_undo;
};

} // namespace

CPaneView::CPaneView(CVarkelDoc* doc, quint32 hintKind, QWidget* parent)
    : QPlainTextEdit(parent), m_hintKind(hintKind)
{
    // The selection stays as visible as with the focus, so that the operator
    // sees what Copy will take while typing in the other pane.
    QPalette pal = palette();
    pal.setBrush(QPalette::Inactive, QPalette::Highlight, pal.brush(QPalette::Active, QPalette::Highlight));
    pal.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                 pal.brush(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    if (doc)
        doc->AddView(this);
}

CVarkelDoc* CPaneView::Document() const
{
    return qobject_cast<CVarkelDoc*>(GetDocument());
}

bool CPaneView::CanPaste() const
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    return data && data->hasText();
}

void CPaneView::SetMaxCharacters(int count)
{
    m_maxCharacters = qMax(1, count);
    TrimOldText();
}

void CPaneView::SetMaxLines(int count)
{
    m_maxLines = qMax(1, count);
    TrimOldText();
}

int CPaneView::LineCount() const
{
    return document()->blockCount() + m_sharedLineEnds;
}

void CPaneView::SetPieceLength(int length)
{
    m_pieceLength = qMax(0, length);
}

void CPaneView::OnUpdate(fw::CView*, quint32 h)
{
    const quint32 kind = hint::Kind(h);
    if (kind == hint::kClear) {
        ClearText();
    } else if (kind == m_hintKind) {
        AddChar(hint::Char(h));
        if (m_batchDepth == 0)
            FlushPending();
    }
}

void CPaneView::OnBeginUpdateBatch()
{
    ++m_batchDepth;
}

void CPaneView::OnEndUpdateBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0)
        FlushPending();
}

void CPaneView::AddChar(unsigned char ch)
{
    switch (ch) {
    case 0x0A:
        // The carriage return before it has made the line end already; a
        // line feed alone leaves even the caret where it is.
        return;
    case 0x08:
        if (m_pending.isEmpty())
            ++m_pendingBackspaces;
        else
            m_pending.chop(1);   // a line end is one paragraph break
        break;
    case 0x0D:
        m_pending += QChar(QChar::ParagraphSeparator);
        break;
    case 0x00:
        break;   // nothing to show, but the caret still goes to the end
    default:
        m_pending += fw::codepage::ToChar(ch);
        break;
    }
    m_caretToEnd = true;
}

void CPaneView::ClearText()
{
    m_pending.clear();
    m_pendingBackspaces = 0;
    m_caretToEnd = false;
    m_sharedLineEnds = 0;
    clear();
}

void CPaneView::FlushPending()
{
    if (!m_caretToEnd)
        return;
    m_caretToEnd = false;

    QTextDocument* doc = document();
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    const int end = cursor.position();
    int start = end;
    for (; m_pendingBackspaces > 0 && start > 0; --m_pendingBackspaces)
        start = StartOfLastCharacter(start);
    m_pendingBackspaces = 0;

    if (start < end || !m_pending.isEmpty()) {
        NonUndoableEdit nonUndoable(doc);
        cursor.beginEditBlock();
        if (start < end) {
            m_sharedLineEnds -= SharedLineEndsBetween(start, end);
            cursor.setPosition(start, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        m_sharedLineEnds += AppendText(cursor, m_pending);
        cursor.endEditBlock();
        m_pending.clear();
        // Dropping the oldest lines is an edit of its own: together with the
        // addition at the end it would span, and relayout, the whole text.
        TrimOldText();
    }
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

// Where the last character of the text before `end` starts, for a backspace:
// a bare line feed goes together with the character before it, and a piece
// break is never left at the end.
int CPaneView::StartOfLastCharacter(int end) const
{
    const QTextDocument* doc = document();
    int start = end - 1;
    // In a pane of pieces a line separator is a whole line end of its own.
    if (start > 0 && m_pieceLength <= 0 && doc->characterAt(start) == QChar(QChar::LineSeparator))
        --start;
    while (start > 0 && IsPieceBreakAt(start - 1))
        --start;
    return start;
}

bool CPaneView::StartsPiece(const QTextBlock& block) const
{
    return m_pieceLength > 0 && block.isValid() && block.position() > 0
           && block.charFormat().boolProperty(kPieceBreakProperty);
}

bool CPaneView::IsPieceBreakAt(int position) const
{
    const QTextDocument* doc = document();
    return m_pieceLength > 0 && doc->characterAt(position) == QChar(QChar::ParagraphSeparator)
           && StartsPiece(doc->findBlock(position + 1));
}

int CPaneView::AppendText(QTextCursor& cursor, QStringView text) const
{
    const QTextCharFormat plain;
    if (m_pieceLength <= 0) {
        cursor.insertText(text.toString(), plain);
        return 0;
    }
    int shared = 0;
    QTextCharFormat pieceBreak;
    pieceBreak.setProperty(kPieceBreakProperty, true);

    const QString lastBlock = cursor.block().text();
    int blockLength = int(lastBlock.size());
    int lineLength = int(lastBlock.size() - lastBlock.lastIndexOf(QChar(QChar::LineSeparator)) - 1);
    QString piece;             // text not yet in the document
    piece.reserve(text.size());
    qsizetype lastSpace = -1;  // in `piece`, on the line being built
    for (const QChar ch : text) {
        if (ch == QChar(QChar::ParagraphSeparator)) {
            // Short lines share a block: there a line end costs one
            // character, not a block of its own, so a storm of line ends
            // costs what ordinary text does.
            if (blockLength < kLineGroupLength) {
                piece += QChar(QChar::LineSeparator);
                ++blockLength;
                ++shared;
            } else {
                piece += QChar(QChar::ParagraphSeparator);
                blockLength = 0;
            }
            lineLength = 0;
            lastSpace = -1;
            continue;
        }
        if (lineLength >= m_pieceLength) {
            // The break goes right before a character, so the text never
            // ends in one.
            const qsizetype cut = (lastSpace >= 0 && piece.size() - lastSpace <= kSpaceReach) ? lastSpace + 1
                                                                                              : piece.size();
            cursor.insertText(piece.left(cut), plain);
            cursor.insertBlock(QTextBlockFormat(), pieceBreak);
            piece.remove(0, cut);
            lineLength = blockLength = int(piece.size());
            lastSpace = -1;
        }
        if (ch == u' ')
            lastSpace = piece.size();
        piece += ch;
        ++lineLength;
        ++blockLength;
    }
    cursor.insertText(piece, plain);
    return shared;
}

void CPaneView::TrimOldText()
{
    QTextDocument* doc = document();
    const int excess = doc->characterCount() - 1 - m_maxCharacters;
    const int excessLines = LineCount() - m_maxLines;
    if (excess <= 0 && excessLines <= 0)
        return;
    int keepFrom = excess > 0 ? LineStartFrom(excess) : 0;
    if (excessLines > 0)
        keepFrom = qMax(keepFrom, StartOfLine(excessLines));
    if (keepFrom <= 0)
        return;
    m_sharedLineEnds -= SharedLineEndsBetween(0, keepFrom);

    NonUndoableEdit nonUndoable(doc);
    QTextCursor cursor(doc);
    cursor.setPosition(keepFrom, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

// The first line start at or after `position`; the line being added to stays whole.
int CPaneView::LineStartFrom(int position) const
{
    const QTextDocument* doc = document();
    QTextBlock block = doc->findBlock(position);
    if (block.position() == position)
        return position;
    const qsizetype at = block.text().indexOf(QChar(QChar::LineSeparator), position - block.position() - 1);
    if (at >= 0)
        return block.position() + int(at) + 1;
    block = block.next();
    return block.isValid() ? block.position() : doc->lastBlock().position();
}

// Where line number `line` (from 0) starts; the last line stays whole.
int CPaneView::StartOfLine(int line) const
{
    const QTextDocument* doc = document();
    if (m_pieceLength <= 0) {
        const QTextBlock block = doc->findBlockByNumber(line);
        return block.isValid() ? block.position() : doc->lastBlock().position();
    }
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        if (line-- == 0)
            return block.position();
        const QString text = block.text();
        for (qsizetype at = text.indexOf(QChar(QChar::LineSeparator)); at >= 0;
             at = text.indexOf(QChar(QChar::LineSeparator), at + 1)) {
            if (line-- == 0)
                return block.position() + int(at) + 1;
        }
    }
    return doc->lastBlock().position();
}

int CPaneView::SharedLineEndsBetween(int from, int to) const
{
    if (m_pieceLength <= 0)
        return 0;
    int count = 0;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        const int begin = qMax(0, from - block.position());
        const int end = qMin(block.length() - 1, to - block.position());
        if (begin < end)
            count += int(QStringView(block.text()).sliced(begin, end - begin).count(QChar(QChar::LineSeparator)));
    }
    return count;
}

QString CPaneView::TextBetween(int from, int to) const
{
    QString text;
    const QTextDocument* doc = document();
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        const int blockStart = block.position();
        const int breakAt = blockStart + block.length() - 1;
        const int segStart = qMax(from, blockStart);
        const int segEnd = qMin(to, breakAt);
        if (segStart < segEnd)
            text += block.text().mid(segStart - blockStart, segEnd - segStart);
        if (breakAt >= from && breakAt < to && !StartsPiece(block.next()))
            text += u'\n';
    }
    text.replace(QChar(QChar::LineSeparator), u'\n');
    return text;
}

QString CPaneView::Text() const
{
    return TextBetween(0, document()->characterCount() - 1);
}

QMimeData* CPaneView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(TextBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

void CPaneView::KeyWithoutText(QKeyEvent* event)
{
    QKeyEvent bare(event->type(), event->key(), event->modifiers(), QString(), event->isAutoRepeat(),
                   event->count());
    QPlainTextEdit::keyPressEvent(&bare);
    event->setAccepted(bare.isAccepted());
}

bool CPaneView::focusNextPrevChild(bool)
{
    // Tab is a character here; F6 moves between the panes.
    return false;
}
