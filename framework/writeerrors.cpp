#include "writeerrors.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace fw {

void IgnoreWriteErrorSignals()
{
#ifdef Q_OS_UNIX
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
#endif
}

} // namespace fw
