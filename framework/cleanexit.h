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
bool InstallCleanExit(QObject* context, std::function<void()> onSignal);

} // namespace fw
