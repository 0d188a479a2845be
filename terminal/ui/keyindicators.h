#pragma once
// The status bar's lock-key panes, CAP, NUM and SCRL: each shows its text
// while its key is locked and stays blank while it is not. Where the platform
// does not tell, all three are shown greyed.

#include "lockkeys.h"

#include <QObject>
#include <optional>

class QLabel;
class QStatusBar;

class CKeyIndicators : public QObject {
    Q_OBJECT
public:
    // Adds the three panes, in order, to the right end of `bar`.
    explicit CKeyIndicators(QStatusBar* bar);

    void Show(const std::optional<fw::LockKeyState>& state);
    QLabel* Pane(unsigned id) const;

private:
    QLabel* AddPane(QStatusBar* bar, unsigned id, const QString& objectName,
                    const QString& accessibleName);

    fw::LockKeys m_keys;
    QLabel* m_caps;
    QLabel* m_num;
    QLabel* m_scroll;
};
