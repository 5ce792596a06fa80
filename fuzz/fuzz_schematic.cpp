// fuzz_schematic - a schematic file through the schematic reader and its wiring passes.
//
// Input: one byte of read options (graphics, no wiring, symbol lines), the schematic text, then
// optionally a NUL byte and the text of the symbol file "s.sym" that the schematic may use (the
// files "res.sym" and "frame.sym" are always there). Every read ends with the clean-up of a run,
// so leaks and stale state show up here too.
#include "fuzzsupport.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzschXXXXXX";
    fuzz::privatesetup(tmpl);
    fuzz::writetext("res.sym", "[symbol2]\nport 0 0 1 0 a 1 in 0 0 g\nport 0 0 1 0 b 1 out 0 0 g\n"
                               "[attributes]\np 0 0 1 0 0 primitive:R\n");
    fuzz::writetext("frame.sym",
                    "[symbol2]\nport 0 0 1 0 A[0:1] 1 in 0 0 g\nport 0 0 1 0 B 1 in 0 0 g\n"
                    "[attributes]\np 0 0 1 0 0 model:null\n");
    platform::SetUiBackend(&fuzz::quietui);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const int opts = data[0] & (kdx::XXR_GRAPHICS | kdx::XXR_NOWIRING | kdx::XXR_SYMLINES);
    fuzz::writetwofiles(data, size, 1, "t.sch", "s.sym");

    fuzz::checkedrun(static_cast<std::uint32_t>(opts | kdx::XXR_DSNSCH), [](kdx::net *n) {
        const char *path = nullptr;
        if (kdx::xxfdopen(nullptr, "t.sch", kdx::XXK_SCHEMATIC, &path) == kdx::XXK_SCHEMATIC) {
            kdx::xxlinkprop(n, kdx::xxalprop(1, "file", path), 2);
            kdx::xxrdsch();
            kdx::xxsymtbl(n, nullptr, nullptr, 0);
        }
        kdx::xxfdclose();
    });
    return 0;
}
