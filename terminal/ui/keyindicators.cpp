#include "keyindicators.h"

#include "resource.h"
#include "stringtable.h"

#include <QLabel>
#include <QStatusBar>

namespace {

void showPane(QLabel* pane, unsigned id, std::optional<bool> locked)
{
    pane->setEnabled(locked.has_value());
    pane->setText(locked.value_or(true) ? LoadString(id) : QString());
    pane->setAccessibleDescription(!locked ? CKeyIndicators::tr("unknown")
                                   : *locked ? CKeyIndicators::tr("on")
                                             : CKeyIndicators::tr("off"));
}

} // namespace

CKeyIndicators::CKeyIndicators(QStatusBar* bar)
    : QObject(bar),
      m_caps(AddPane(bar, ID_INDICATOR_CAPS, QStringLiteral("indicatorCaps"),
                     tr("Caps Lock"))),
      m_num(AddPane(bar, ID_INDICATOR_NUM, QStringLiteral("indicatorNum"),
                    tr("Num Lock"))),
      m_scroll(AddPane(bar, ID_INDICATOR_SCRL, QStringLiteral("indicatorScrl"),
                       tr("Scroll Lock")))
{
    setObjectName(QStringLiteral("keyIndicators"));
    connect(&m_keys, &fw::LockKeys::changed, this, [this] { Show(m_keys.State()); });
    Show(m_keys.State());
}

void CKeyIndicators::Show(const std::optional<fw::LockKeyState>& state)
{
    showPane(m_caps, ID_INDICATOR_CAPS, state ? std::optional(state->caps) : std::nullopt);
    showPane(m_num, ID_INDICATOR_NUM, state ? std::optional(state->num) : std::nullopt);
    showPane(m_scroll, ID_INDICATOR_SCRL, state ? std::optional(state->scroll) : std::nullopt);
}

QLabel* CKeyIndicators::Pane(unsigned id) const
{
    switch (id) {
    case ID_INDICATOR_CAPS: return m_caps;
    case ID_INDICATOR_NUM: return m_num;
    case ID_INDICATOR_SCRL: return m_scroll;
    default: return nullptr;
    }
}

QLabel* CKeyIndicators::AddPane(QStatusBar* bar, unsigned id, const QString& objectName,
                                const QString& accessibleName)
{
    auto* pane = new QLabel(LoadString(id), bar);
    pane->setObjectName(objectName);
    pane->setAccessibleName(accessibleName);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setAlignment(Qt::AlignCenter);
    // Wide enough for its text whether shown or not, so the bar never jumps.
    pane->setMinimumWidth(pane->sizeHint().width() + pane->fontMetrics().averageCharWidth());
    bar->addPermanentWidget(pane);
    return pane;
}
