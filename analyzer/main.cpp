// sondrel, the analyzer: one program, one command per job.

#include "commands.h"
#include "server/serve.h"

#include <algorithm>
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
    {"decode", decodeCommand, "sondrel decode [--if HZ] [--afc-range HZ] [--channel left|right|mix|N] FILE\n"
     "  sondrel decode --all [--json] [--channel left|right|mix|N] FILE"},
};

int Usage()
{
    std::fprintf(stderr,
                 "usage:\n  sondrel [options]    the analyzer server\n"
                 "  sondrel devices      lists the sound devices\n"
                 "  sondrel unkey [options]  drops PTT through the server's keying line\n");
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  %s\n", command.usage);
    std::fprintf(stderr, "Each takes --help for its own usage.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // No command, or only options: the analyzer server.
    if (argc < 2 || argv[1][0] == '-')
        return serveCommand(argc, argv);
    const std::string name = argv[1];
    if (name == "devices")
        return devicesCommand(argc, argv);
    if (name == "unkey")
        return unkeyCommand(argc, argv);
    for (const Command& command : kCommands) {
        if (name != command.name)
            continue;
        const std::vector<std::string> args(argv + 2, argv + argc);
        if (std::find(args.begin(), args.end(), "--help") != args.end()
            || std::find(args.begin(), args.end(), "-h") != args.end()) {
            std::printf("usage: %s\n", command.usage);
            return 0;
        }
        return command.run(args);
    }
    std::fprintf(stderr, "sondrel: unknown command \"%s\"\n", name.c_str());
    return Usage();
}
