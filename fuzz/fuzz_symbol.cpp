// fuzz_symbol - a symbol file through the symbol-definition reader.
//
// Input: one byte of read options (graphics, symbol lines, quiet), then the text of the symbol
// file. The definition is read twice under two names that find the same file (the second with
// "@D"), then placed once, so the declared ports are used as a schematic would use them.
#include "fuzzsupport.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzsymXXXXXX";
    fuzz::privatesetup(tmpl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const int opts = data[0] & (kdx::XXR_GRAPHICS | kdx::XXR_SYMLINES);
    const int quiet = data[0] & kdx::XXK_QUIET;
    fuzz::writefile("f.sym", data + 1, size - 1);

    fuzz::checkedrun(static_cast<std::uint32_t>(opts), [quiet](kdx::net *n) {
        for (const char *name : {"f", "f@D"}) {
            kdx::symdef *def = kdx::xxnewsymdef(nullptr, name);
            kdx::xxrdsymdef(nullptr, def, quiet);
            kdx::symbol *sym = kdx::xxnewsym(n, def, def->nports);
            kdx::xxfixnewsym(n, sym);
        }
        kdx::xxfrnode();
    });
    return 0;
}
