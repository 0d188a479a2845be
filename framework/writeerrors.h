#pragma once
// A failed write must come back as an error the program can report, never
// kill the process: beyond the file size limit (SIGXFSZ), or to a pipe whose
// reader has gone, such as the output of a launcher that ended (SIGPIPE).

namespace fw {

// No-op where these signals do not exist.
void IgnoreWriteErrorSignals();

} // namespace fw
