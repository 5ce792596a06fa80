// partlist_cmd.cpp - the partlist command: a thin host of the run entry.
//
// Sets the property width and loads a description map the way the window would, then hands the
// rest of the command line unchanged to the run entry and turns its status into an exit code.
// Around the run it adds what a user at a terminal expects: the part list as CSV or JSON, a word
// on parts the map does not describe, and why a schematic could not be opened. None of it
// changes the report or the log.
#include "cfpath.h"
#include "partlist.h"
#include "partlist_export.h"
#include "partlist_compare.h"
#include "partlist_outputs.h"
#include "partlist_version.h"
#include "platform/asyncfile.h"
#include "platform/placefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// Exit codes of the command's own making; the run's are 0, 1 and 4.
inline constexpr int EXIT_FATAL = 1;   // as a run that ended on a fatal error
inline constexpr int EXIT_USAGE = 2;   // a bad command option
inline constexpr int EXIT_EXPORT = 3;  // a CSV or JSON file could not be written
using partlist::compare::EXIT_COMPARE; // a part list to compare could not be read
inline constexpr int STATUS_NOSCHEMATIC = -4;

const char *const usage =
    "usage: partlist [--proplen N] [--map FILE]... [--csv FILE] [--json FILE] [options] SCHEMATIC\n"
    "       partlist --compare OLD.json [--changes FORMAT] NEW.json\n"
    "       partlist --compare OLD.json [--changes FORMAT] [--map FILE]... [options] SCHEMATIC\n"
    "       partlist --help | --version\n"
    "\n"
    "Writes the part list of SCHEMATIC (and of every sheet below it) to SCHEMATIC.out and the\n"
    "messages of the run to SCHEMATIC.log.\n"
    "\n"
    "  --proplen N   width of the property column (default 40)\n"
    "  --map FILE    description map: lines of category, part name and description\n"
    "                (may be repeated; later records win)\n"
    "  --csv FILE    also write the part list as CSV: each sheet's groups and the whole\n"
    "                design's totals with the references of the parts ('-': standard output)\n"
    "  --json FILE   the same as one JSON document ('-': standard output)\n"
    "  --compare OLD.json\n"
    "                write what changed from an earlier JSON export to NEW.json (an export) or\n"
    "                to this run's part list: groups added, removed and changed, references\n"
    "                that came, went or moved to another group, descriptions that changed\n"
    "  --changes FORMAT\n"
    "                the changes as text (default), csv or json, on standard output\n"
    "  --help        show this text\n"
    "  --version     show the release and the version of this build\n"
    "  --            the end of these options (they may stand anywhere before it)\n"
    "  -o FILE       write the report to FILE\n"
    "  -f LETTERS    categories to list, in order: d Distributed, i Discrete, c Control,\n"
    "                s Functional, e Electrical (default dic)\n"
    "  -l N          lines per report page (default 66)\n"
    "  -p PATH       symbol search path, elements joined by '+'\n"
    "  -k PATH       the second search path\n"
    "  -debug        trace the run in the log\n"
    "  -Q, -1, -0, -par, -xx..., -v, -pathDEBUG\n"
    "                the netlist library's own options\n"
    "\n"
    "The exit code is 0 on success, 1 when the run ended on a fatal error, 2 for a bad option,\n"
    "3 when a CSV or JSON file could not be written, 4 when no schematic was found or the log\n"
    "could not be created, 5 when a part list to compare could not be read. Changes found are\n"
    "no failure: the exit code is 0 whether or not anything changed.\n";

// An export the user asked for: its kind and where it goes.
struct Export {
    const char *option;
    const char *file;
    bool (*write)(FILE *);
};

// Runs an export's writer; a writer that runs out of memory has failed (errno ENOMEM), and the
// file it was writing is removed as after any other failure.
bool format(const Export &e, FILE *f) {
    try {
        return e.write(f);
    } catch (const std::bad_alloc &) {
        errno = ENOMEM;
        return false;
    }
}

// Writes an export to a stream that is not a file of its own (standard output, a device, a
// pipe): there is nothing to put in place.
bool writestream(const Export &e, FILE *f, const char *name) {
    bool ok = f != nullptr && format(e, f);
    int error = errno;
    if (f != nullptr && f != stdout && std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) std::fprintf(stderr, "partlist: %s: %s\n", name, std::strerror(error));
    return ok;
}

// A file beside an export's target, removed unless it was put in place.
class TempFile {
  public:
    explicit TempFile(std::string name) : name_(std::move(name)) {}
    ~TempFile() {
        if (!name_.empty()) std::remove(name_.c_str());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const char *name() const { return name_.c_str(); }
    void placed() { name_.clear(); }

  private:
    std::string name_;
};

bool refused(const Export &e, partlist::Refusal refusal) {
    std::fprintf(stderr, "partlist: %s: not written: %s\n", e.file,
                 partlist::refusalreason(refusal));
    return false;
}

// Writes one export. A file is written beside its target and moved into place only when it is
// whole, so a failure never leaves a partial file (nor spoils one that was there); a target the
// outputs' rule refuses keeps what it holds. The bytes reach the file from a helper thread while
// the rest is formatted.
bool writeexport(const Export &e) {
    if (std::strcmp(e.file, "-") == 0) {
        platform::BinaryStream(stdout); // the line ends of CSV are its own
        return writestream(e, stdout, "standard output");
    }
    // Asked before the work as well as when the file is put in place: a target that is no file
    // of its own is written directly.
    partlist::Refusal refusal = partlist::outputrefusal(e.file);
    if (refusal != partlist::Refusal::none) return refused(e, refusal);
    const platform::FileKind kind = platform::KindOfFile(e.file);
    if (kind != platform::FileKind::missing && kind != platform::FileKind::regular)
        return writestream(e, std::fopen(e.file, "wb"), e.file);
    TempFile temp(platform::MakeFileBeside(e.file));
    if (*temp.name() == '\0') {
        std::fprintf(stderr, "partlist: %s: %s\n", e.file, platform::ErrorText(errno));
        return false;
    }
    FILE *f = platform::OpenAsyncWrite(temp.name(), platform::FileMode::binary);
    bool ok = f != nullptr && format(e, f);
    int error = errno;
    if (f != nullptr && std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        switch (partlist::placeoutput(temp.name(), e.file, &refusal)) {
        case partlist::Placed::done:
            temp.placed();
            return true;
        case partlist::Placed::refused:
            return refused(e, refusal);
        case partlist::Placed::failed:
            error = errno;
            break;
        }
    }
    std::fprintf(stderr, "partlist: %s: %s\n", e.file, platform::ErrorText(error));
    return false;
}

// The run names its schematic after the last argument with the extension ".sch"; when it found
// none, say which file that was and why it could not be read.
void explainschematic(const char *arg) {
    // The run's own derivation of the name (partlist_env.cpp).
    std::string name = arg;
    cf::toseparators(name.data());
    cf::stripext(name.data(), nullptr);
    name.resize(std::strlen(name.c_str()));
    name += ".sch";
    FILE *f = std::fopen(name.c_str(), "r");
    if (f != nullptr) {
        std::fclose(f);
        return;
    }
    std::fprintf(stderr, "partlist: %s: %s\n", name.c_str(), std::strerror(errno));
}

// "partlist: 3 parts have no description in the map: BAT54, R_ARRAY, TP"
void reportundescribed() {
    const std::vector<std::string> parts = partlist::undescribedparts();
    if (parts.empty()) return;
    std::string line = "partlist: " + std::to_string(parts.size()) +
                       (parts.size() == 1 ? " part has" : " parts have") +
                       " no description in the map: ";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) line += ", ";
        line += parts[i];
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

bool takesvalue(const char *arg) {
    for (const char *option : {"--proplen", "--map", "--csv", "--json", "--compare", "--changes"})
        if (std::strcmp(arg, option) == 0) return true;
    return false;
}

// Whether two exports would end up in one file (or both on standard output).
bool onefile(const Export &a, const Export &b) {
    const bool stdouta = std::strcmp(a.file, "-") == 0;
    const bool stdoutb = std::strcmp(b.file, "-") == 0;
    if (stdouta || stdoutb) return stdouta && stdoutb;
    return platform::SameTarget(a.file, b.file);
}

int command(int argc, char **argv) {
    const char *proplen = "40";
    std::vector<const char *> maps;
    std::vector<Export> exports;
    partlist::compare::Comparison comparison;
    // The run sees its own name followed by everything this command does not take. The
    // command's options (beginning with "--") may stand anywhere, as users write them; the run's
    // own begin with a single "-". After "--" everything goes to the run.
    std::vector<char *> args{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strncmp(arg, "--", 2) != 0) {
            args.push_back(argv[i]);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            args.insert(args.end(), argv + i + 1, argv + argc);
            break;
        }
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("partlist %s (version %s)\n", PARTLIST_RELEASE, PARTLIST_VERSION);
            return 0;
        }
        if (!takesvalue(arg)) {
            std::fprintf(stderr, "partlist: unknown option %s\n%s", arg, usage);
            return EXIT_USAGE;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "partlist: %s needs a value\n", arg);
            return EXIT_USAGE;
        }
        const char *value = argv[++i];
        if (std::strcmp(arg, "--proplen") == 0)
            proplen = value;
        else if (std::strcmp(arg, "--map") == 0)
            maps.push_back(value);
        else if (std::strcmp(arg, "--compare") == 0 || std::strcmp(arg, "--changes") == 0) {
            if (!comparison.option(arg, value)) return EXIT_USAGE;
        } else if (std::strcmp(arg, "--csv") == 0)
            exports.push_back({"--csv", value, partlist::writecsv});
        else
            exports.push_back({"--json", value, partlist::writejson});
    }

    for (std::size_t i = 0; i < exports.size(); ++i)
        for (std::size_t j = i + 1; j < exports.size(); ++j)
            if (onefile(exports[i], exports[j])) {
                std::fprintf(stderr, "partlist: %s: not written: %s and %s name one file\n",
                             exports[j].file, exports[i].option, exports[j].option);
                return EXIT_EXPORT;
            }

    // Two exports (the last argument names a JSON file): no run, no design. A design against an
    // earlier export: that is read first, so a file that is no export ends the command before
    // the run writes anything.
    if (comparison.betweenexports(args)) return comparison.compareexports(args[1]);
    if (comparison.asked() && !comparison.readold()) return EXIT_COMPARE;

    SetPropertyLength(proplen);
    for (const char *map : maps) {
        // The run goes on without the records of a map it cannot read, as the window's does.
        if (FILE *f = std::fopen(map, "r"))
            std::fclose(f);
        else
            std::fprintf(stderr, "partlist: %s: %s\n", map, std::strerror(errno));
        partlist::initializeMap(map); // memory that runs out ends the command: no half map
    }
    unsigned mode = maps.empty() ? 0 : partlist::EXPORT_MISSING;
    if (!exports.empty() || comparison.asked()) mode |= partlist::EXPORT_GROUPS;
    partlist::setexport(mode);

    args.push_back(nullptr);
    const int argcount = static_cast<int>(args.size()) - 1;
    const int status = partlist_main(argcount, args.data());

    if (status == STATUS_NOSCHEMATIC && argcount > 1) explainschematic(args[argcount - 1]);
    if (status < 0) {
        for (const Export &e : exports)
            std::fprintf(stderr, "partlist: %s not written: the run did not end normally\n",
                         e.file);
        return -status;
    }
    reportundescribed();
    bool written = true;
    for (const Export &e : exports)
        written = writeexport(e) && written;
    if (comparison.asked()) {
        const int status = comparison.comparerun();
        if (status != 0) return status;
    }
    return written ? 0 : EXIT_EXPORT;
}

} // namespace

int main(int argc, char **argv) {
    // Memory that runs out outside the run (which handles its own) ends the command with a word,
    // not an abort. What was not written completely was removed on the way out.
    try {
        return command(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fputs("partlist: out of memory\n", stderr);
        return EXIT_FATAL;
    }
}
