// fuzz_design - "[design]" page lists and the multi-page nets built from them.
//
// Input: the text of a design file, loaded as top.dsn with every page it names. Two pages exist
// beside it (p1.sch, p2.sch), so a page list can name real pages, missing ones and the design
// itself. Every load is followed by the clean-up of a run, so leaks and stale state show up here.
#include "fuzzsupport.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzdsnXXXXXX";
    fuzz::designsetup(tmpl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::loaddesign(data, size);
    return 0;
}
