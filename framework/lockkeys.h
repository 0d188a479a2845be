#pragma once
// The keyboard's lock keys (Caps Lock, Num Lock, Scroll Lock) as the window
// system reports them. Qt has no portable way to ask, so each platform that
// can tell is listened to here and nowhere else; elsewhere the state is
// unknown.

#include <QObject>

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
    explicit LockKeys(QObject* parent = nullptr);
    ~LockKeys() override;

    // nullopt where the platform does not report the lock keys.
    std::optional<LockKeyState> State() const { return m_state; }

signals:
    void changed();

private:
    // Hears the window system's reports; one per platform, in the .cpp.
    class Listener;

    void setState(const LockKeyState& state);

    std::unique_ptr<Listener> m_listener;
    std::optional<LockKeyState> m_state;
};

} // namespace fw
