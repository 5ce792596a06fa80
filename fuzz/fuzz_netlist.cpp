// fuzz_netlist - a netlist file through the read driver, with the nets its uses name.
//
// Input: one byte of options (read the named net only, power and ground nodes logically, no
// symbol power pins, verbose reading), the text of the netlist file, then optionally a NUL byte
// and the text of "sub.imf", the netlist of a cell its uses may name ("bn:sub"). The object
// model is walked afterwards as a client would walk it, and every read ends with the clean-up of
// a run, so leaks and stale state show up here too.
#include "fuzzsupport.h"

#include <cstdint>
#include <cstdio>

namespace {

// Every port of every symbol and node of the net, with the node each port is on.
void walk(kdx::net *n) {
    kdx::symbol *s = nullptr;
    while (kdx::xxnsym(n, &s)) {
        for (kdx::port *p = kdx::xxportnext(s, nullptr, nullptr, kdx::PN_GLOBALS); p;
             p = kdx::xxportnext(s, p, nullptr, kdx::PN_GLOBALS))
            kdx::xxportnode(p);
        kdx::xxsympart(s);
    }
    for (kdx::node *d = n->nodes; d; d = d->next)
        kdx::xxnodeisfree(d);
    kdx::xxsymtbl(n, nullptr, nullptr, kdx::SYMTBL_FRAMES | kdx::SYMTBL_CONNECTORS);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char tmpl[] = "/tmp/fuzzimfXXXXXX";
    fuzz::privatesetup(tmpl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const int opts = ((data[0] & 1) ? kdx::XXR_ONLY : 0) | ((data[0] & 2) ? kdx::XXR_LOGICPG : 0) |
                     ((data[0] & 4) ? kdx::XXR_NOPPINS : 0);
    const int verbose = (data[0] & 8) != 0;
    fuzz::writetwofiles(data, size, 1, "t.imf", "sub.imf");

    kdx::xxoptions() = {};
    kdx::xxoptions().verbose = verbose;
    fuzz::checkedrun(static_cast<std::uint32_t>(opts), [opts](kdx::net *n) {
        n->flags = kdx::NETF_NETLIST;
        if (kdx::net *top = kdx::xxreadfile(nullptr, "t", nullptr, opts | kdx::XXR_NETLIST))
            walk(top);
        if (kdx::net *sub = kdx::xxfindnet("sub", 0)) walk(sub);
    });
    return 0;
}
