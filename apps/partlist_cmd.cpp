// partlist_cmd.cpp - the partlist command: a thin host of the run entry.
//
// Sets the property width and loads a description map the way the window would, then hands the
// rest of the command line unchanged to the run entry and turns its status into an exit code.
#include "partlist.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char *const usage =
    "usage: partlist [--proplen N] [--map FILE] [options] SCHEMATIC\n"
    "       partlist --help | --version\n"
    "\n"
    "Writes the part list of SCHEMATIC (and of every sheet below it) to SCHEMATIC.out and the\n"
    "messages of the run to SCHEMATIC.log.\n"
    "\n"
    "  --proplen N   width of the property column (default 40)\n"
    "  --map FILE    description map: lines of category, part name and description\n"
    "  -o FILE       write the report to FILE\n"
    "  -f LETTERS    categories to list, in order: d Distributed, i Discrete, c Control,\n"
    "                s Functional, e Electrical (default dic)\n"
    "  -l N          lines per report page (default 66)\n"
    "  -p PATH       symbol search path, elements joined by '+'\n"
    "  -debug        trace the run in the log\n"
    "\n"
    "The exit code is 0 on success, 1 when the run ended on a fatal error, 4 when no schematic\n"
    "was found or the log could not be created.\n";

} // namespace

int main(int argc, char **argv) {
    const char *proplen = "40";
    std::vector<const char *> maps;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            ++i;
            break;
        }
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::puts("partlist Release 4.0");
            return 0;
        }
        if ((std::strcmp(arg, "--proplen") == 0 || std::strcmp(arg, "--map") == 0) &&
            i + 1 >= argc) {
            std::fprintf(stderr, "partlist: %s needs a value\n", arg);
            return 2;
        }
        if (std::strcmp(arg, "--proplen") == 0) {
            proplen = argv[++i];
        } else if (std::strcmp(arg, "--map") == 0) {
            maps.push_back(argv[++i]);
        } else {
            std::fprintf(stderr, "partlist: unknown option %s\n%s", arg, usage);
            return 2;
        }
    }

    SetPropertyLength(proplen);
    for (const char *map : maps)
        initializeMap(map);

    // The run sees its own name followed by everything this command did not take.
    std::vector<char *> args;
    args.push_back(argv[0]);
    for (; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    const int status = partlist_main(static_cast<int>(args.size()) - 1, args.data());
    return status >= 0 ? 0 : -status;
}
