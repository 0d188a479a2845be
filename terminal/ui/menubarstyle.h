#pragma once
// A menu bar style that always shows a command's text. A command placed
// directly on the menu bar (Connect) shares its action with its toolbar
// button, image included, and Qt would show only the image there.

#include <QProxyStyle>

class CTextMenuBarStyle : public QProxyStyle {
    Q_OBJECT
public:
    CTextMenuBarStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
};
