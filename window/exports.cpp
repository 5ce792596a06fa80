// exports.cpp - the window's host entry points of libpartlist.so.
//
// Built into the shared library beside the run's entry points (partlist/exports.cpp), so the
// window stays a layer above the utility. Each one catches at its boundary: a host written in C
// must never see an exception.
#include "window.h"

#include "partlist.h"

extern "C" {

PARTLIST_EXPORT int PARTLIST_HOSTCALL CreatePartList(const char *projectFile,
                                                     const char *flavourCode,
                                                     const char *searchPath) {
    try {
        return window::CreatePartList(projectFile, flavourCode, searchPath);
    } catch (...) {
        // Nothing of the window could be had (memory); the host goes on without it.
        return 0;
    }
}

PARTLIST_EXPORT void PARTLIST_HOSTCALL DestroyPartList() {
    try {
        window::DestroyPartList();
    } catch (...) {
    }
}

} // extern "C"
