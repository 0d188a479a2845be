#pragma once
// sondrel with no command: the analyzer server. `sondrel devices` lists the
// sound devices it can use.

int serveCommand(int argc, char** argv);
int devicesCommand(int argc, char** argv);
