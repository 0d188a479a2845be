// The commands of sondrel; each takes the arguments after its name (devices:
// the whole command line, for its QCoreApplication) and returns the process
// exit status.
#pragma once

#include <string>
#include <vector>

int encodeCommand(const std::vector<std::string>& args);
int decodeCommand(const std::vector<std::string>& args);
// decode --all: every station in the file.
int decodeAllCommand(const std::vector<std::string>& args);
int devicesCommand(int argc, char** argv);
