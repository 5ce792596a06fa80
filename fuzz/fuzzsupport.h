// fuzzsupport.h - the harness the fuzz targets share: a private working directory, small files
// written into it, a log that turns an internal error into a crash, the quiet UI back end, and
// the design load with its run clean-up.
#pragma once

#include "kdxint.h"

#include "cfpath.h"
#include "platform/ui.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace fuzz {

// Makes a fresh directory from tmpl ("/tmp/nameXXXXXX", rewritten in place) and works in it, so
// the relative names the targets write and read are their own.
inline void workdir(char *tmpl) {
    if (!mkdtemp(tmpl) || chdir(tmpl) != 0) std::abort();
}

// Keeps the start-up files of the machine out of the run: no registry, and the per-user
// configuration looked for in dir.
inline void privateconfig(const char *dir) {
    setenv("VANTRELL_REGISTRY", "/nonexistent/registry.ini", 1);
    setenv("XDG_CONFIG_HOME", dir, 1);
}

// A fresh working directory that is also the only place configuration is looked for.
inline void privatesetup(char *tmpl) {
    workdir(tmpl);
    privateconfig(tmpl);
}

inline void writefile(const char *name, const void *data, std::size_t size) {
    if (FILE *f = std::fopen(name, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

inline void writetext(const char *name, const char *text) {
    writefile(name, text, std::strlen(text));
}

// Writes data[from..] up to the first NUL byte as the file first, and what follows the NUL as
// the file second (removed when the input has no NUL): one input, two files.
inline void writetwofiles(const std::uint8_t *data, std::size_t size, std::size_t from,
                          const char *first, const char *second) {
    std::size_t end = from;
    while (end < size && data[end] != 0)
        ++end;
    writefile(first, data + from, end - from);
    if (end < size)
        writefile(second, data + end + 1, size - end - 1);
    else
        std::remove(second);
}

// The log of one input. An internal error is a broken invariant, which no input may reach; the
// library counts the ones it reports, so input text echoed into a message (a name holding a line
// end and "internal error: ") cannot pass for one.
class InternalErrorLog {
  public:
    InternalErrorLog() = default;
    InternalErrorLog(const InternalErrorLog &) = delete;
    InternalErrorLog &operator=(const InternalErrorLog &) = delete;
    ~InternalErrorLog() {
        if (log_ != nullptr) std::fclose(log_);
        std::free(buf_);
    }

    FILE *open() {
        log_ = open_memstream(&buf_, &len_);
        if (log_ == nullptr) std::abort();
        internal_ = kdx::xxinternalcount();
        return log_;
    }

    // Closes the log; aborts, showing it, when the input reached an internal error.
    void check() {
        std::fclose(log_);
        log_ = nullptr;
        if (kdx::xxinternalcount() != internal_) {
            std::fwrite(buf_, 1, len_, stderr);
            std::abort();
        }
        std::free(buf_);
        buf_ = nullptr;
        len_ = 0;
    }

  private:
    FILE *log_ = nullptr;
    char *buf_ = nullptr;
    std::size_t len_ = 0;
    int internal_ = 0; // internal errors reported before the input
};

// Runs body with the library's log in memory, then gives the library back standard error; an
// internal error in the log of the input is a crash.
template <class Body> void checkedlog(Body body) {
    InternalErrorLog inputlog;
    kdx::xxsetlog(inputlog.open());
    body();
    kdx::xxsetlog(stderr);
    inputlog.check();
}

// Runs body on a fresh library with the current net "t" and the given read options, then cleans
// up as a run does; an internal error in the log of the input is a crash.
template <class Body> void checkedrun(std::uint32_t opts, Body body) {
    checkedlog([opts, &body] {
        try {
            cf::PSetPath(".");
            kdx::xxinit();
            kdx::xxgetroot()->opts = opts;
            kdx::net *n = kdx::xxnewnetdef("t", nullptr);
            kdx::xxsetcurnet(n);
            body(n);
            kdx::xxcleanup();
            kdx::xxfreeall();
        } catch (const kdx::RunAbort &) {
            // A fatal or internal error ended the run; its clean-up has already run.
        }
        kdx::xxclrexcl();
        cf::FreePaths();
    });
}

// A user interface that answers every request at once, as if cancelled.
inline int noopen(void *, const char *, int, int, int, char *name, int size) {
    if (size > 0) name[0] = '\0';
    return 0;
}
inline int nobox(void *, const char *, int, const char *, int, int, int) {
    return 0;
}
inline const platform::UiBackend quietui{noopen, nobox};

// Pages beside the design: a page list can name real pages, missing ones, the design itself
// and a page whose name is all extension.
inline void writedesignpages() {
    writetext(".sch", "[schematic2]\n[detail]\n[cell use]\n");
    writetext("p1.sch", "[schematic2]\nport 0 0 1 0 A in 5 6 g\nport 0 0 1 0 B out 5 6 g\n"
                        "[detail]\nw 0 0 1 0 N1 SELF.A 10 10 20 10 SELF.B\n[cell use]\n");
    writetext("p2.sch", "[schematic2]\nport 0 0 1 0 B in 5 6 g\np 0 0 1 0 0 connectortype:off\n"
                        "[detail]\n[cell use]\n");
}

// Works in a fresh directory made from tmpl with the design pages in it.
inline void designsetup(char *tmpl) {
    workdir(tmpl);
    writedesignpages();
}

// Loads the input as top.dsn with every page it names, then cleans up as a run does, so leaks
// and stale state show up; an internal error in the log of the input is a crash. The design and
// the "[design2]" targets share this harness.
inline void loaddesign(const std::uint8_t *data, std::size_t size) {
    writefile("top.dsn", data, size);
    kdx::xxoptions() = {};
    checkedlog([] {
        cf::PSetPath(".");
        try {
            kdx::xxreadfile(nullptr, "top", nullptr, 0x40);
        } catch (const kdx::RunAbort &) {
            // A fatal or internal error ended the "run"; its clean-up has run already.
        }
        kdx::xxfreeall();
        kdx::xxdsn2free();
        kdx::xxcleanup();
        cf::FreePaths();
    });
}

} // namespace fuzz
