#pragma once
// Waiting on the user-interface thread without freezing it: a local event loop
// that keeps repainting and socket traffic going but holds back user input, so
// a blocking step (connect, the pause between closing links) cannot be
// re-entered from the keyboard or the mouse.

#include <QObject>
#include <functional>

namespace fw {

// Waits for `ms` milliseconds.
void LocalWait(int ms);

// Waits until `signal` of `sender` fires or `timeoutMs` elapses; returns true
// when the signal fired. `done` is checked first so a signal already missed
// does not cost the whole timeout.
template <typename Sender, typename Signal>
bool LocalWaitFor(Sender* sender, Signal signal, int timeoutMs,
                  const std::function<bool()>& done = {});

namespace detail {
bool RunLocalLoop(const std::function<void(const std::function<void()>&)>& arm, int timeoutMs,
                  const std::function<bool()>& done);
}

template <typename Sender, typename Signal>
bool LocalWaitFor(Sender* sender, Signal signal, int timeoutMs, const std::function<bool()>& done)
{
    return detail::RunLocalLoop(
        [sender, signal](const std::function<void()>& quit) {
            QObject::connect(sender, signal, sender, [quit] { quit(); },
                             Qt::SingleShotConnection);
        },
        timeoutMs, done);
}

} // namespace fw
