#include "menubarstyle.h"

#include <QStyleOptionMenuItem>

CTextMenuBarStyle::CTextMenuBarStyle()
{
    setObjectName(QStringLiteral("textMenuBarStyle"));
}

void CTextMenuBarStyle::drawControl(ControlElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuBarItem && item && !item->icon.isNull()) {
        QStyleOptionMenuItem textOnly(*item);
        textOnly.icon = QIcon();
        QProxyStyle::drawControl(element, &textOnly, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

QSize CTextMenuBarStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                          const QSize& size, const QWidget* widget) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type == CT_MenuBarItem && item && !item->icon.isNull()) {
        // The bar measured the image; measure the text instead.
        QStyleOptionMenuItem textOnly(*item);
        textOnly.icon = QIcon();
        return QProxyStyle::sizeFromContents(
            type, &textOnly, item->fontMetrics.size(Qt::TextShowMnemonic, item->text), widget);
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}
