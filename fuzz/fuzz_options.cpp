// fuzz_options - the command line and the start-up file "cad.rc" through ParseComLine.
//
// Input: the text of "cad.rc", a NUL byte, then the arguments behind the program name, each
// ended by a NUL byte. The run driver's four rows stand in front of the library's, as in a run.
// Every parse is followed by the clean-up of a run, so leaks and stale state show up here.
#include "fuzzsupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t MAXARGS = 64;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // A private working directory: "." of the start-up path is where "cad.rc" is found.
    char tmpl[] = "/tmp/fuzzoptsXXXXXX";
    fuzz::privatesetup(tmpl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::size_t rclen = 0;
    while (rclen < size && data[rclen] != 0)
        ++rclen;
    fuzz::writefile("cad.rc", data, rclen);

    std::vector<std::string> words{"partlist"};
    std::string word;
    for (std::size_t i = rclen + 1; i < size && words.size() < MAXARGS; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < MAXARGS) words.push_back(word);
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    kdx::xxoptions() = {};
    int argc = static_cast<int>(words.size());
    char **args = argv.data();
    fuzz::checkedlog([&argc, &args] {
        int oflag = 0, fflag = 0, lflag = 0, debug = 0, pagelen = 66;
        const char *report = nullptr;
        const char *letters = nullptr;
        try {
            kdx::ParseComLine("partlist", &argc, &args, "-o%s", &oflag, &report, "-f%s", &fflag,
                              &letters, "-l%d", &lflag, &pagelen, "-debug", &debug, nullptr);
        } catch (const kdx::RunAbort &) {
            // A fatal message ended the "run"; its clean-up has run already.
        }
        kdx::xxoptions() = {};
        kdx::xxcleanup();
        cf::FreePaths();
    });
    return 0;
}
