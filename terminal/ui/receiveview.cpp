#include "receiveview.h"

#include "hints.h"
#include "panekeys.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include <memory>

CReceiveView::CReceiveView(CVarkelDoc* doc, QWidget* parent) : CPaneView(doc, hint::kReceived, parent)
{
    setObjectName(QStringLiteral("receiveView"));
    setReadOnly(true);
    // Keyboard selection too, so that a copy never needs the mouse.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetPieceLength(kPieceLength);
}

void CReceiveView::EditCopy()
{
    copy();
}

// The received text is not the operator's to change.
void CReceiveView::EditCut() {}
void CReceiveView::EditPaste() {}
void CReceiveView::EditUndo() {}

void CReceiveView::keyPressEvent(QKeyEvent* event)
{
    if (panekeys::IsCommandKey(*event)) {
        // Reaches here only where no window command has taken the key.
        if (panekeys::EditCommandOf(*event) == panekeys::EditCommand::Copy) {
            EditCopy();
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (panekeys::TypesCharacters(*event)) {
        event->accept();   // typing here does nothing, and the key goes no further
        return;
    }
    KeyWithoutText(event);
}

void CReceiveView::inputMethodEvent(QInputMethodEvent* event)
{
    // Composed characters are typing too; the editor would take them even
    // read-only, as long as text can be selected.
    event->accept();
}

void CReceiveView::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    // The editor names Ctrl+A beside Select All, but here Ctrl+A is a typed
    // character, and typing does nothing.
    if (QAction* selectAll = menu->findChild<QAction*>(QStringLiteral("select-all")))
        selectAll->setText(selectAll->text().section(u'\t', 0, 0));
    menu->exec(event->globalPos());
}
