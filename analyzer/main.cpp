// sondrel, the analyzer: one program, one command per job.

#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"encode", encodeCommand,
     "sondrel encode [--if HZ] [--rate HZ] [--channel mono|left|right] [--level DBFS] -o FILE.wav"},
    {"decode", decodeCommand, "sondrel decode [--if HZ] [--afc-range HZ] [--channel left|right|mix] FILE"},
};

int Usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  %s\n", command.usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string name = argv[1];
    for (const Command& command : kCommands) {
        if (name == command.name)
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "sondrel: unknown command \"%s\"\n", name.c_str());
    return Usage();
}
