// partlist_env.cpp - the surroundings of a part-list run.
//
// Before the options are parsed, initenv reads the two library directories of the suite from its
// ini file, fixes the schematic name (the last argument as ".sch", or a file chosen in the open
// dialog), derives the log and default report names, and opens the log. Failures here are shown
// in message boxes, since there is no log yet, and end the run with -4.
#include "partlistint.h"
#include "partlist_outputs.h"

#include "cfpath.h"
#include "kdx.h"
#include "platform/profile.h"
#include "platform/ui.h"

#include <cstdio>
#include <cstring>

namespace partlist {

namespace {

inline constexpr std::size_t DIR_SIZE = 260;
inline constexpr const char *PROGNAME = "partlist"; // caption of the message boxes

struct EnvState {
    char userdir[DIR_SIZE];    // "~p3" of [Vantrell] + "/library/vanuser"
    char devdir[DIR_SIZE];     // "CSDEVLIB" of [MHENV]
    char schname[NAME_SIZE];   // the schematic of the run
    char logname[NAME_SIZE];   // schematic base name + ".log"
    char defreport[NAME_SIZE]; // schematic base name + ".out"
    FILE *log;                 // the run's log, or null
};

constinit EnvState state{};

// The schematic base name (extension cut) followed by ext, in a buffer of NAME_SIZE bytes; false
// when it does not fit (a name is never cut into another file's name).
bool derive(char *dst, const char *name, const char *ext) {
    char base[NAME_SIZE];
    std::snprintf(base, sizeof base, "%s", name);
    cf::stripext(base, nullptr);
    const std::size_t len = std::strlen(base);
    const std::size_t extlen = std::strlen(ext);
    dst[0] = '\0';
    if (len + extlen >= NAME_SIZE) return false;
    std::memcpy(dst, base, len);
    std::memcpy(dst + len, ext, extlen + 1);
    return true;
}

// The last argument as a ".sch" file, when one of that name can be read.
bool fromarguments(int argc, char **argv) {
    if (argc < 1 || argv == nullptr || argv[argc - 1] == nullptr) return false;
    const char *arg = argv[argc - 1];
    const std::size_t len = std::strlen(arg);
    // Room for the name and ".sch"; a longer name does not fit the schematic buffer.
    if (len + 4 >= NAME_SIZE) return false;
    char name[NAME_SIZE];
    std::memcpy(name, arg, len + 1);
    cf::toseparators(name);
    cf::stripext(name, nullptr);
    std::strcat(name, ".sch");
    FILE *f = std::fopen(name, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    std::memcpy(state.schname, name, std::strlen(name) + 1);
    return true;
}

[[noreturn]] void fail(const char *text, int context) {
    platform::SCH_MSGBOX(nullptr, PROGNAME, 1, text, 1, 1, context);
    Sch_Exit(-4);
    // Sch_Exit does not come back from a negative status.
    throw kdx::RunAbort{-4};
}

} // namespace

int initenv(int argc, char **argv) {
    const char *ini = cf::GetIniFile();
    state.userdir[0] = '\0';
    platform::GetPrivateProfileString("Vantrell", "~p3", "", state.userdir, DIR_SIZE, ini);
    std::size_t len = std::strlen(state.userdir);
    std::snprintf(state.userdir + len, DIR_SIZE - len, "%s", "/library/vanuser");
    state.devdir[0] = '\0';
    platform::GetPrivateProfileString("MHENV", "CSDEVLIB", "", state.devdir, DIR_SIZE, ini);
    cf::SetLibDirs(state.userdir, state.devdir);

    const bool named = fromarguments(argc, argv);
    if (!named) {
        state.schname[0] = '\0';
        if (platform::SCH_OPENDLG(nullptr, PROGNAME, 0, 0, 1, state.schname,
                                  static_cast<int>(NAME_SIZE)) == 0)
            fail("No schematic file specified", 0);
        state.schname[NAME_SIZE - 1] = '\0';
    }
    // Names written with "\\" open here too; the log and report names follow the schematic's.
    cf::toseparators(state.schname);

    const bool fits = derive(state.logname, state.schname, ".log") &&
                      derive(state.defreport, state.schname, ".out");

    // Opening the log empties it: it may not be a description map the command has loaded.
    const bool allowed = fits && outputrefusal(state.logname) == Refusal::none;
    state.log = allowed ? std::fopen(state.logname, "w") : nullptr;
    if (state.log == nullptr) fail("Failed to open log file", named ? 1 : 0);
    keepoutput(state.logname);
    return 1;
}

const char *schname() {
    return state.schname;
}
const char *logname() {
    return state.logname;
}
const char *defreportname() {
    return state.defreport;
}
FILE *logstream() {
    return state.log;
}
void setlogstream(FILE *stream) {
    state.log = stream;
}

} // namespace partlist
