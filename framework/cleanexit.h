#pragma once
// Clean exit on SIGTERM, SIGINT and SIGHUP: the signal is turned into a call on
// the user-interface thread, so the program leaves by the same path as File
// Exit (placement saved, transmitter unkeyed, links closed). A radio must
// never stay keyed because the terminal was told to stop.

#include <QObject>
#include <functional>

namespace fw {

// Installs the handlers once per process; `onSignal` runs on the thread of
// `context` for every signal received, until `context` is destroyed.
// Returns false where the platform offers no such signals.
//
// A thread of its own watches that the signal is served: when the thread of
// `context` has not taken it within kSignalServeMs (it is stuck in a system
// call, or busy), the watch sends the last-resort byte, if one is armed, and
// ends the process with status 0.
constexpr int kSignalServeMs = 500;
bool InstallCleanExit(QObject* context, std::function<void()> onSignal);

// The byte that must reach `socket` if the process is ended by the watch
// (a transmitter's unkey). One at a time; arming again replaces it.
void ArmLastResortByte(qintptr socket, char byte);
// Disarms it if it is armed for `socket`; must come before `socket` closes.
void DisarmLastResortByte(qintptr socket);

} // namespace fw

namespace fw {

// A failed write must come back as an error the program can report, never
// kill the process: beyond the file size limit (SIGXFSZ), or to a pipe whose
// reader has gone, such as the output of a launcher that ended (SIGPIPE).
// No-op where these signals do not exist.
void IgnoreWriteErrorSignals();

} // namespace fw

namespace fw {

// Runs `lastWord` when the process ends through exit() without coming back
// to its owner (the toolkit does so when its display connection breaks).
// An empty function clears it; the owner must clear it before it goes.
void SetLastWordAtExit(std::function<void()> lastWord);

} // namespace fw
