#pragma once
// The keyboard's lock keys (Caps Lock, Num Lock, Scroll Lock) as the window
// system reports them. Qt has no portable way to ask, so each platform that
// can tell is asked here and nowhere else; elsewhere the state is unknown.

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace fw {

struct LockKeyState {
    bool caps = false;
    bool num = false;
    bool scroll = false;

    friend bool operator==(const LockKeyState&, const LockKeyState&) = default;
};

class LockKeys : public QObject {
    Q_OBJECT
public:
    // How often the window system is asked; lock lights change rarely and a
    // quarter second is quicker than anyone looks from the keyboard to the bar.
    static constexpr int kPollIntervalMs = 250;

    explicit LockKeys(QObject* parent = nullptr);
    ~LockKeys() override;

    // What asks the window system; one per platform, in the .cpp.
    class Source;

    bool IsAvailable() const { return m_source != nullptr; }
    // nullopt where the platform does not report the lock keys.
    std::optional<LockKeyState> State() const { return m_state; }

signals:
    void changed();

private:
    void poll();

    std::unique_ptr<Source> m_source;
    std::optional<LockKeyState> m_state;
    QTimer m_timer;
};

} // namespace fw
