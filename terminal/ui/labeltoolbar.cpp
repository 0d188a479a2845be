#include "labeltoolbar.h"

#include "artwork.h"
#include "commandtable.h"
#include "resource.h"
#include "settingskeys.h"
#include "settingsstore.h"
#include "stringtable.h"

#include <QAction>
#include <QEvent>
#include <QToolButton>

namespace {

// The stored text that labels each macro button.
const QString* macroKey(unsigned id)
{
    switch (id) {
    case ID_MACRO_F9: return &keys::kF9Macro;
    case ID_MACRO_F10: return &keys::kF10Macro;
    case ID_MACRO_F11: return &keys::kF11Macro;
    case ID_MACRO_F12: return &keys::kF12Macro;
    default: return nullptr;
    }
}

// A label is shown as it is stored: an ampersand is not a mnemonic here.
QString displayed(QString label)
{
    return label.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

CLabelToolBar::CLabelToolBar(const CCommandActions& commands, const fw::SettingsStore& store,
                             QWidget* parent)
    : QToolBar(parent), m_commands(commands), m_store(store)
{
    setObjectName(QStringLiteral("toolBar"));
    setWindowTitle(tr("Toolbar"));
    setAccessibleName(tr("Toolbar"));
    setIconSize(kImageSize);
    setAllowedAreas(Qt::AllToolBarAreas);
    setMovable(true);
    setFloatable(true);
}

bool CLabelToolBar::LoadToolBar(unsigned resourceId)
{
    const bool loaded = resourceId == IDR_MAINFRAME && Build();
    if (!loaded)
        return false;
    // Read at every load, not remembered: the store is the one authority.
    if (m_store.GetProfileInt(keys::kSettings, keys::kToolbarInIE4Style, 0) != 0)
        ShowLabelled();
    else
        ShowClassic();
    return true;
}

QString CLabelToolBar::ItemLabel(unsigned id) const
{
    if (const QString* key = macroKey(id)) {
        // Cut first, then split: a line feed past the tenth character is
        // never seen.
        const QString text = m_store.GetProfileString(keys::kSetup, *key, QString());
        return LastPiece(text.left(kMacroLabelLength));
    }
    return LastPiece(LoadString(id));
}

QString CLabelToolBar::LastPiece(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return pieces.isEmpty() ? QString() : pieces.last();
}

bool CLabelToolBar::eventFilter(QObject* watched, QEvent* event)
{
    // A button whose command has no tooltip of its own shows none: Qt would
    // otherwise offer the label in its place.
    if (event->type() == QEvent::ToolTip) {
        const unsigned id = m_buttons.key(qobject_cast<QToolButton*>(watched), kSeparator);
        if (id != kSeparator && CommandTooltip(id).isEmpty())
            return true;
    }
    return QToolBar::eventFilter(watched, event);
}

bool CLabelToolBar::Build()
{
    // The item list is fixed, so the buttons are made once; a reload only
    // restyles them. Rebuilding would also delete the very button whose click
    // asked for the reload.
    if (!m_buttons.isEmpty())
        return true;
    const QPixmap strip = ToolbarStrip();
    if (strip.isNull())
        return false;

    int image = 0;
    int separator = 0;
    for (const unsigned id : ToolbarItems()) {
        if (id == kSeparator) {
            addSeparator()->setObjectName(QStringLiteral("toolBarSeparator%1").arg(++separator));
            continue;
        }
        QAction* action = m_commands.Action(id);
        action->setIcon(QIcon(strip.copy(QRect(QPoint(image * kImageSize.width(), 0), kImageSize))));
        action->setIconVisibleInMenu(false);
        ++image;
        addAction(action);

        auto* button = qobject_cast<QToolButton*>(widgetForAction(action));
        button->setObjectName(action->objectName().replace(QLatin1String("action"),
                                                           QLatin1String("button")));
        const QString tooltip = CommandTooltip(id);
        const QString* key = macroKey(id);
        button->setAccessibleName(tooltip.isEmpty() && key ? *key : tooltip);
        button->setAccessibleDescription(CommandPrompt(id));
        button->installEventFilter(this);
        m_buttons.insert(id, button);
    }
    return true;
}

void CLabelToolBar::ShowClassic()
{
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (QToolButton* button : std::as_const(m_buttons)) {
        button->setAutoRaise(false);
        button->setFixedSize(kButtonSize);
    }
    m_bLabelled = false;
}

void CLabelToolBar::ShowLabelled()
{
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it) {
        m_commands.Action(it.key())->setIconText(displayed(ItemLabel(it.key())));
        it.value()->setAutoRaise(true);
        it.value()->setMinimumSize(0, 0);
        it.value()->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    // Every button takes the size of the largest, so the bar reads as a row
    // of equal tiles whatever the labels.
    QSize largest(0, 0);
    for (QToolButton* button : std::as_const(m_buttons))
        largest = largest.expandedTo(button->sizeHint());
    for (QToolButton* button : std::as_const(m_buttons))
        button->setFixedSize(largest);
    m_bLabelled = true;
}
