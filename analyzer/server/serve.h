#pragma once
// sondrel with no command: the analyzer server. `sondrel unkey` drops PTT
// through the keying line the server would use, for when the server could
// not (killed, crashed).

int serveCommand(int argc, char** argv);
int unkeyCommand(int argc, char** argv);
