#pragma once
// Lower pane: where the operator types; every typed or pasted character is
// shown and handed to the document to be sent at once.

#include "paneview.h"

class CTransmitView : public CPaneView {
    Q_OBJECT
public:
    explicit CTransmitView(CVarkelDoc* doc, QWidget* parent = nullptr);

    // Edit commands routed here by the main frame while this pane is active.
    void EditCopy();
    void EditCut();
    void EditPaste();   // OnEditPaste: shows the clipboard text once, then sends every byte
    void EditUndo();

    // One typed byte: shown at the caret as the editor would, then sent.
    void OnChar(unsigned char byte);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void ShowTyped(unsigned char byte);
    void PasteText(QStringView text);
};
