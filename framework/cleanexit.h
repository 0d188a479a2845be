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
