#pragma once
// sondrel with no command: the analyzer server.

int serveCommand(int argc, char** argv);
