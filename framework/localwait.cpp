#include "localwait.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace fw {

namespace detail {

bool RunLocalLoop(const std::function<void(const std::function<void()>&)>& arm, int timeoutMs,
                  const std::function<bool()>& done)
{
    if (done && done())
        return true;
    QEventLoop loop;
    auto fired = std::make_shared<bool>(false);
    QPointer<QEventLoop> guard(&loop);
    arm([guard, fired] {
        *fired = true;
        if (guard)
            guard->quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!*fired)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return *fired || (done && done());
}

} // namespace detail

void LocalWait(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace fw
