// fuzz_design - "[design]" page lists and the multi-page nets built from them.
//
// Input: the text of a design file, loaded as top.dsn with every page it names. Two pages exist
// beside it (p1.sch, p2.sch), so a page list can name real pages, missing ones and the design
// itself. Every load is followed by the clean-up of a run, so leaks and stale state show up here.
#include "kdxint.h"

#include "cfpath.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

FILE *devnull;

const char PAGE1[] = "[schematic2]\nport 0 0 1 0 A in 5 6 g\nport 0 0 1 0 B out 5 6 g\n"
                     "[detail]\nw 0 0 1 0 N1 SELF.A 10 10 20 10 SELF.B\n[cell use]\n";
const char PAGE2[] = "[schematic2]\nport 0 0 1 0 B in 5 6 g\np 0 0 1 0 0 connectortype:off\n"
                     "[detail]\n[cell use]\n";

void writefile(const char *name, const void *data, std::size_t size) {
    if (FILE *f = std::fopen(name, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzdsnXXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) std::abort();
    writefile("p1.sch", PAGE1, sizeof PAGE1 - 1);
    writefile("p2.sch", PAGE2, sizeof PAGE2 - 1);
    devnull = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    writefile("top.dsn", data, size);
    kdx::xxoptions() = {};
    kdx::xxsetlog(devnull);
    cf::PSetPath(".");
    try {
        kdx::xxreadfile(nullptr, "top", nullptr, 0x40);
    } catch (const kdx::RunAbort &) {
        // An internal error ended the "run"; its clean-up has run already.
    }
    kdx::xxfreeall();
    kdx::xxdsn2free();
    kdx::xxcleanup();
    cf::FreePaths();
    return 0;
}
