// fuzz_symbol - a symbol file through the symbol-definition reader.
//
// Input: one byte of read options (graphics, symbol lines, quiet), then the text of the symbol
// file. The definition is read twice under two names that find the same file (the second with
// "@D"), then placed once, so the declared ports are used as a schematic would use them.
#include "kdxint.h"

#include "cfpath.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace {

// The log of one input: an internal error is a broken invariant, which no input may reach.
char logbuf[1 << 16];

FILE *openlog() {
    std::memset(logbuf, 0, sizeof logbuf);
    return fmemopen(logbuf, sizeof logbuf - 1, "w");
}

void checklog(FILE *log) {
    std::fclose(log);
    // Input text can be echoed inside a message, but never at the start of a line.
    if (std::strncmp(logbuf, "internal error: ", 16) == 0 ||
        std::strstr(logbuf, "\ninternal error: ") != nullptr) {
        std::fputs(logbuf, stderr);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzsymXXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) std::abort();
    setenv("VANTRELL_REGISTRY", "/nonexistent/registry.ini", 1);
    setenv("XDG_CONFIG_HOME", tmpl, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const int opts = data[0] & (kdx::XXR_GRAPHICS | kdx::XXR_SYMLINES);
    const int quiet = data[0] & kdx::XXK_QUIET;
    if (FILE *f = std::fopen("f.sym", "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }

    FILE *log = openlog();
    kdx::xxsetlog(log);
    try {
        cf::PSetPath(".");
        kdx::xxinit();
        kdx::xxgetroot()->opts = static_cast<std::uint32_t>(opts);
        kdx::net *n = kdx::xxnewnetdef("t", nullptr);
        kdx::xxsetcurnet(n);
        for (const char *name : {"f", "f@D"}) {
            kdx::symdef *def = kdx::xxnewsymdef(nullptr, name);
            kdx::xxrdsymdef(nullptr, def, quiet);
            kdx::symbol *sym = kdx::xxnewsym(n, def, def->nports);
            kdx::xxfixnewsym(n, sym);
        }
        kdx::xxfrnode();
        kdx::xxcleanup();
        kdx::xxfreeall();
    } catch (const kdx::RunAbort &) {
        // An internal error ended the run; its clean-up has already run.
    }
    kdx::xxclrexcl();
    cf::FreePaths();
    kdx::xxsetlog(stderr);
    checklog(log);
    return 0;
}
