#pragma once
// Upper pane: shows every received character; read-only, but text can be
// selected and copied.

#include "paneview.h"

class CReceiveView : public CPaneView {
    Q_OBJECT
public:
    // Long received lines are held in pieces of this many characters: short
    // enough that adding to a long line costs no more than adding short
    // lines, long enough that the piece ends, which look like an early wrap,
    // are rare.
    static constexpr int kPieceLength = 1024;

    explicit CReceiveView(CVarkelDoc* doc, QWidget* parent = nullptr);

    // Edit commands routed here by the main frame while this pane is active.
    void EditCopy();
    void EditCut();
    void EditPaste();
    void EditUndo();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
