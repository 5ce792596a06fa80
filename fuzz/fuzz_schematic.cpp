// fuzz_schematic - a schematic file through the schematic reader and its wiring passes.
//
// Input: one byte of read options (graphics, no wiring, symbol lines), the schematic text, then
// optionally a NUL byte and the text of the symbol file "s.sym" that the schematic may use (the
// files "res.sym" and "frame.sym" are always there). Every read ends with the clean-up of a run,
// so leaks and stale state show up here too.
#include "kdxint.h"

#include "cfpath.h"
#include "platform/ui.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int noopen(void *, const char *, int, int, int, char *name, int size) {
    if (size > 0) name[0] = '\0';
    return 0;
}
int nobox(void *, const char *, int, const char *, int, int, int) {
    return 0;
}
const platform::UiBackend quietui{noopen, nobox};

void writefile(const char *name, const void *data, std::size_t size) {
    if (FILE *f = std::fopen(name, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

void writetext(const char *name, const char *text) {
    writefile(name, text, std::strlen(text));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzschXXXXXX";
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) std::abort();
    setenv("VANTRELL_REGISTRY", "/nonexistent/registry.ini", 1);
    setenv("XDG_CONFIG_HOME", tmpl, 1);
    writetext("res.sym", "[symbol2]\nport 0 0 1 0 a 1 in 0 0 g\nport 0 0 1 0 b 1 out 0 0 g\n"
                         "[attributes]\np 0 0 1 0 0 primitive:R\n");
    writetext("frame.sym", "[symbol2]\nport 0 0 1 0 A[0:1] 1 in 0 0 g\nport 0 0 1 0 B 1 in 0 0 g\n"
                           "[attributes]\np 0 0 1 0 0 model:null\n");
    platform::SetUiBackend(&quietui);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const int opts = data[0] & (kdx::XXR_GRAPHICS | kdx::XXR_NOWIRING | kdx::XXR_SYMLINES);
    std::size_t schlen = 1;
    while (schlen < size && data[schlen] != 0)
        ++schlen;
    writefile("t.sch", data + 1, schlen - 1);
    if (schlen < size)
        writefile("s.sym", data + schlen + 1, size - schlen - 1);
    else
        std::remove("s.sym");

    FILE *log = openlog();
    kdx::xxsetlog(log);
    try {
        cf::PSetPath(".");
        kdx::xxinit();
        kdx::xxgetroot()->opts = static_cast<std::uint32_t>(opts | kdx::XXR_DSNSCH);
        kdx::net *n = kdx::xxnewnetdef("t", nullptr);
        kdx::xxsetcurnet(n);
        const char *path = nullptr;
        if (kdx::xxfdopen(nullptr, "t.sch", kdx::XXK_SCHEMATIC, &path) == kdx::XXK_SCHEMATIC) {
            kdx::xxlinkprop(n, kdx::xxalprop(1, "file", path), 2);
            kdx::xxrdsch();
            kdx::xxsymtbl(n, nullptr, nullptr, 0);
        }
        kdx::xxfdclose();
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
