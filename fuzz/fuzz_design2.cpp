// fuzz_design2 - "[design2]" design databases and the designs they describe.
//
// Input: the text of a design database, loaded as top.dsn with the pages its entries name. Two
// pages exist beside it (p1.sch, p2.sch), so an entry can name real pages, missing ones and the
// database itself. Every load is followed by the clean-up of a run, so leaks and stale state
// show up here, the database forgotten by the next run included.
#include "fuzzsupport.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzdsn2XXXXXX";
    fuzz::designsetup(tmpl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::loaddesign(data, size);
    return 0;
}
