#include "transmitview.h"

#include "codepage.h"
#include "hints.h"
#include "panekeys.h"
#include "pastetext.h"
#include "prompter.h"
#include "varkeldoc.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextCursor>

CTransmitView::CTransmitView(CVarkelDoc* doc, QWidget* parent)
    : CPaneView(doc, hint::kTransmitted, parent)
{
    setObjectName(QStringLiteral("transmitView"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Text only enters by typing and Paste, both of which send it; a drop
    // would show text that never went out.
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

void CTransmitView::EditCopy()
{
    copy();
}

void CTransmitView::EditCut()
{
    cut();
}

void CTransmitView::EditUndo()
{
    undo();
}

void CTransmitView::EditPaste()
{
    FlushPending();
    const QClipboard* clipboard = QGuiApplication::clipboard();
    CVarkelDoc* doc = Document();
    if (!clipboard) {   // a platform without one
        if (doc)
            doc->GetPrompter().MessageBox(QStringLiteral("Cannot open the Clipboard"));
        return;
    }
    const QMimeData* data = clipboard->mimeData();
    if (!data || !data->hasText()) {
        if (doc)
            doc->GetPrompter().MessageBox(QStringLiteral("Unable to set Clipboard data"));
        return;
    }
    PasteText(data->text());
}

void CTransmitView::PasteText(QStringView text)
{
    CVarkelDoc* doc = Document();
    const PreparedPaste paste = PreparePaste(text, doc ? doc->TransmitRoom() : CVarkelDoc::kTransmitQueueLimit);
    if (!paste.shown.isEmpty()) {
        insertPlainText(paste.shown);
        TrimOldText();
        ensureCursorVisible();
    }
    if (!doc)
        return;
    for (char byte : paste.sent)
        doc->SendChar(static_cast<unsigned char>(byte));
    if (paste.cut) {
        doc->GetPrompter().MessageBox(QStringLiteral("Paste has been cut to %1 characters!").arg(paste.sent.size()),
                                      fw::MsgButtons::Ok, fw::MsgIcon::Information);
    }
}

void CTransmitView::OnChar(unsigned char byte)
{
    FlushPending();
    ShowTyped(byte);
    if (CVarkelDoc* doc = Document())
        doc->SendChar(byte);
}

void CTransmitView::ShowTyped(unsigned char byte)
{
    switch (byte) {
    case 0x0D:
        insertPlainText(QStringLiteral("\n"));
        break;
    case 0x08: {
        QTextCursor cursor = textCursor();
        cursor.deletePreviousChar();
        setTextCursor(cursor);
        break;
    }
    case 0x09:
        insertPlainText(QStringLiteral("\t"));
        break;
    default:
        // Other control codes act on the far end only.
        if (byte < 0x20 || byte == 0x7F)
            return;
        insertPlainText(QString(fw::codepage::ToChar(byte)));
        break;
    }
    ensureCursorVisible();
}

bool CTransmitView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (panekeys::IsCommandKey(*key)) {
            key->ignore();   // the window's command, not the editor's own binding
            return true;
        }
        if (panekeys::TypesCharacters(*key)) {
            key->accept();   // a typed character outranks any shortcut on the key
            return true;
        }
    }
    return CPaneView::event(event);
}

void CTransmitView::keyPressEvent(QKeyEvent* event)
{
    if (panekeys::IsCommandKey(*event)) {
        // Reaches here only where no window command has taken the key.
        switch (panekeys::EditCommandOf(*event)) {
        case panekeys::EditCommand::Copy:
            EditCopy();
            break;
        case panekeys::EditCommand::Cut:
            EditCut();
            break;
        case panekeys::EditCommand::Paste:
            if (CanPaste())
                EditPaste();
            break;
        case panekeys::EditCommand::Undo:
            EditUndo();
            break;
        case panekeys::EditCommand::None:
            event->ignore();
            return;
        }
        event->accept();
        return;
    }
    const QByteArray bytes = panekeys::TypedBytes(*event);
    for (char byte : bytes)
        OnChar(static_cast<unsigned char>(byte));
    if (!bytes.isEmpty() || panekeys::TypesCharacters(*event)) {
        event->accept();
        return;
    }
    KeyWithoutText(event);
}

void CTransmitView::inputMethodEvent(QInputMethodEvent* event)
{
    // A composed character (a dead key, an input method) is typed like any
    // other; the editor keeps showing the composition in progress.
    const QByteArray bytes = fw::codepage::FromUnicode(event->commitString());
    for (char byte : bytes)
        OnChar(static_cast<unsigned char>(byte));
    QInputMethodEvent composing(event->preeditString(), event->attributes());
    CPaneView::inputMethodEvent(&composing);
    event->accept();
}

namespace {
// The right button does nothing here; the middle one would paste the
// selection without sending it.
bool isIgnoredButton(const QMouseEvent* event)
{
    return event->button() == Qt::RightButton || event->button() == Qt::MiddleButton;
}
} // namespace

void CTransmitView::mousePressEvent(QMouseEvent* event)
{
    if (isIgnoredButton(event)) {
        event->accept();
        return;
    }
    CPaneView::mousePressEvent(event);
}

void CTransmitView::mouseReleaseEvent(QMouseEvent* event)
{
    if (isIgnoredButton(event)) {
        event->accept();
        return;
    }
    CPaneView::mouseReleaseEvent(event);
}

bool CTransmitView::canInsertFromMimeData(const QMimeData* source) const
{
    return source && source->hasText();
}

void CTransmitView::insertFromMimeData(const QMimeData* source)
{
    // Whatever way text comes in besides typing, it is sent as a paste is.
    if (source)
        PasteText(source->text());
}
