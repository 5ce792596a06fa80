// exports.cpp - the host entry points of libpartlist.so.
//
// Everything else in the library is built with hidden visibility; these are the only symbols a
// host (a program that loads the library, the window's launcher) can reach; the window adds its
// two entry points (window/exports.cpp) when it is built. Each one catches at its
// boundary: a host written in C must never see an exception.
#include "partlist.h"

#include "kdx.h"

extern "C" {

PARTLIST_EXPORT int partlist_main(int argc, char **argv) {
    try {
        return partlist::main(argc, argv);
    } catch (...) {
        return -1;
    }
}

PARTLIST_EXPORT int Sch_Exit(int status) {
    try {
        return partlist::Sch_Exit(status);
    } catch (const kdx::RunAbort &abort) {
        // Outside a run there is no recovery point to return to.
        return abort.status;
    } catch (...) {
        return -1;
    }
}

PARTLIST_EXPORT int initializeMap(const char *path) {
    try {
        return partlist::initializeMap(path);
    } catch (...) {
        return 0;
    }
}

PARTLIST_EXPORT int SetPropertyLength(const char *text) {
    try {
        return partlist::SetPropertyLength(text);
    } catch (...) {
        return 0;
    }
}

} // extern "C"
