#pragma once
// A PulseAudio server of the test's own: its socket and runtime folder in a
// temporary folder, a null sink "Radio" at 48000 Hz and, since Qt Multimedia
// does not list a sink's monitor as an input, a source "RadioIn" remapped
// over that monitor. Whatever is played to the sink comes back on the source.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

class PrivatePulse {
public:
    ~PrivatePulse();
    // False with a reason when the server cannot be started (not installed).
    bool start(QString* why);
    // The environment a program needs to use this server.
    QProcessEnvironment environment() const;

private:
    QTemporaryDir m_dir;
    QProcess m_server;
};
