#include "ptt.h"

#include <QMetaObject>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace sondrel {
namespace {

constexpr std::chrono::milliseconds kUnkeyRetry{1000};

} // namespace

struct Ptt::Answer {
    quint64 request = 0;
    std::optional<bool> opened;
    QString openError;
    std::optional<bool> keyed; // the state the line reached
    QString failure; // or why it did not
    bool retry = false; // a repeated unkey nobody asked for again
};

struct Ptt::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finishedChanged;
    Ptt* owner = nullptr; // null once the owner is going
    bool quit = false;
    bool openAsked = false;
    std::optional<bool> wanted;
    quint64 request = 0;
    bool finished = false;

    void post(const Answer& answer)
    {
        // Under the mutex: the owner cannot be destroyed meanwhile, and an event
        // posted to it before that is dropped with it.
        if (owner)
            QMetaObject::invokeMethod(
                owner, [target = owner, answer] { target->onAnswer(answer); },
                Qt::QueuedConnection);
    }

    void work(const PttConfig& config)
    {
        PttLine line(config);
        const bool reconnects = config.kind == PttConfig::Kind::Cat
            || config.kind == PttConfig::Kind::Rigctld;
        bool unkeyOwed = false;
        bool maybeKeyed = false; // keying was tried and no unkey has succeeded since
        std::unique_lock lock(mutex);
        auto asked = [this] { return quit || openAsked || wanted.has_value(); };
        for (;;) {
            if (unkeyOwed)
                wake.wait_for(lock, kUnkeyRetry, asked);
            else
                wake.wait(lock, asked);
            if (quit)
                break;
            Answer answer;
            answer.request = request;
            const bool openNow = std::exchange(openAsked, false);
            std::optional<bool> want = std::exchange(wanted, std::nullopt);
            if (!want && unkeyOwed) {
                want = false;
                answer.retry = true;
            }
            lock.unlock();
            if (openNow) {
                answer.opened = line.isOpen() || line.open();
                if (!*answer.opened)
                    answer.openError = line.errorString();
            }
            if (want) {
                maybeKeyed = maybeKeyed || *want;
                const bool wasOpen = line.isOpen();
                bool done = (wasOpen || line.open()) && line.set(*want);
                if (!done && wasOpen && reconnects) {
                    // The connection may have died with a restarted rigctld or
                    // radio: once more on a fresh one.
                    line.close();
                    done = line.open() && line.set(*want);
                }
                if (done) {
                    answer.keyed = *want;
                    maybeKeyed = *want;
                } else {
                    answer.failure = line.errorString();
                    // Opened afresh next time. A serial port stays open: opening
                    // it again would raise its lines for a moment.
                    if (reconnects)
                        line.close();
                }
                unkeyOwed = !*want && !answer.keyed;
            }
            lock.lock();
            post(answer);
        }
        lock.unlock();
        if (maybeKeyed && (line.isOpen() || line.open()))
            line.set(false);
        line.close();
        lock.lock();
        finished = true;
        finishedChanged.notify_all();
    }
};

Ptt::Ptt(PttConfig config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_shared(std::make_shared<Shared>())
{
    // Hamlib switches the numeric locale to "C" around its calls and back by a
    // name that the switch frees unless it is "C" already (see PttLine). With
    // the process in the C numeric locale from here on, the switch on the
    // keying thread changes nothing any other thread could see. The server
    // formats its numbers through Qt, which ignores this locale.
    std::setlocale(LC_NUMERIC, "C");
    m_shared->owner = this;
    m_answerTimer.setSingleShot(true);
    m_answerTimer.setInterval(kAnswerMs);
    connect(&m_answerTimer, &QTimer::timeout, this, &Ptt::onAnswerLate);
    m_thread = std::thread([shared = m_shared, config = m_config] { shared->work(config); });
}

Ptt::~Ptt()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->owner = nullptr;
    m_shared->quit = true;
    m_shared->wake.notify_all();
    // The final unkey is worth a short wait; a line stuck beyond it is left to
    // finish on its own (it holds what it needs).
    const bool done = m_shared->finishedChanged.wait_for(lock, std::chrono::milliseconds(kCloseMs),
                                                         [this] { return m_shared->finished; });
    lock.unlock();
    if (done)
        m_thread.join();
    else
        m_thread.detach();
}

void Ptt::open()
{
    ask(true, std::nullopt);
}

void Ptt::set(bool keyed)
{
    m_keyed = keyed;
    ask(false, keyed);
}

void Ptt::ask(bool open, std::optional<bool> keyed)
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->openAsked = m_shared->openAsked || open;
        if (keyed)
            m_shared->wanted = keyed;
        m_shared->request = ++m_asked;
    }
    m_shared->wake.notify_one();
    m_openAsked = m_openAsked || open;
    if (!m_answerTimer.isActive())
        m_answerTimer.start();
}

void Ptt::onAnswer(const Answer& answer)
{
    if (answer.request == m_asked)
        m_answerTimer.stop();
    if (answer.opened) {
        m_openAsked = false;
        emit opened(*answer.opened, answer.openError);
    }
    if (answer.keyed) {
        m_lateReported = false;
        emit changed(*answer.keyed);
    } else if (!answer.failure.isEmpty() && !answer.retry
               && !std::exchange(m_lateReported, false)) {
        // A failure that the time-out has reported already is not told twice.
        emit failed(answer.failure);
    }
}

void Ptt::onAnswerLate()
{
    const QString why = QStringLiteral("no answer within %1 s").arg(double(kAnswerMs) / 1000);
    m_lateReported = true;
    if (std::exchange(m_openAsked, false))
        emit opened(false, why);
    else
        emit failed(why);
}

} // namespace sondrel
