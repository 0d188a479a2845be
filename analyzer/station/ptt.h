#pragma once
// The transmitter's keying as the server uses it: every call returns at once.
// A thread of its own owns the Hamlib line and works through what was asked,
// only the latest wish counting; answers come back as signals. A line that
// fails is closed and opened afresh on the next request, so a rigctld that
// restarts is found again. A request not answered within kAnswerMs is reported
// as failed while the thread keeps trying; a failed unkey is retried every
// second until it succeeds or the object goes.

#include "pttline.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>
#include <thread>

namespace sondrel {

class Ptt : public QObject {
    Q_OBJECT
public:
    // Long enough for Hamlib's own time-out and a reopen behind it.
    static constexpr int kAnswerMs = 2500;
    // How long the destructor waits for the final unkey.
    static constexpr int kCloseMs = 3000;

    explicit Ptt(PttConfig config, QObject* parent = nullptr);
    // Unkeys and closes, waiting at most kCloseMs for the line.
    ~Ptt() override;

    const PttConfig& config() const { return m_config; }
    QString description() const { return describe(m_config); }
    // Opens the line; opened() follows.
    void open();
    // Keys or unkeys; changed() or failed() follows.
    void set(bool keyed);
    // What was asked last: the transmitter may be keyed whenever this is true.
    bool keyed() const { return m_keyed; }

signals:
    void opened(bool ok, const QString& error);
    void changed(bool keyed);
    // A keying or unkeying that failed or was not answered in time.
    void failed(const QString& why);

private:
    struct Shared;
    struct Answer;
    void onAnswer(const Answer& answer);
    void onAnswerLate();
    void ask(bool open, std::optional<bool> keyed);

    PttConfig m_config;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
    QTimer m_answerTimer;
    quint64 m_asked = 0;
    bool m_keyed = false;
    bool m_openAsked = false;
    bool m_lateReported = false;
};

} // namespace sondrel
