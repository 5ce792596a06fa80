// kdx.h - the public interface of the KDX netlist database.
//
// The library keeps one netlist database per run: nets (one per schematic or design cell),
// symbols, symbol definitions, nodes, buses, wires, ports and properties, all carved out of the
// chained object buffer and released together by xxfreeall. Every routine reports failures
// through xxerror/xxerr and returns 0 or null; the one exception is the recovery point (RunAbort).
//
// The header is divided into one section per module group; each group adds its declarations
// inside its own section only.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace kdx {

// Records of the object model; their layouts live in the library's internal header.
struct xxrec;
struct xxnamed;
struct membuf;
struct hashtbl;
struct prop;
struct symbol;
struct symdef;
struct net;
struct node;
struct bus;
struct wire;
struct port;
struct rootnet;
struct filerec;

// ===== Error reporting and routine stack (err, err2) =====

// Thrown by the run's exit routine after the clean-up has run; caught only by the run entry.
struct RunAbort {
    int status; // the status the run ends with (negative)
};

// The routine that ends a run (Sch_Exit of the run driver). Without one installed, a fatal
// error releases the library and throws RunAbort{status} itself.
using ExitHandler = void (*)(int status);
void xxsetexit(ExitHandler handler);

// The log stream every message goes to; standard error until a run opens its log.
void xxsetlog(FILE *log);
FILE *xxlog();

// ===== End of error reporting =====

// ===== Memory buffers and library lifetime (init, util) =====
// ===== End of memory buffers =====

// ===== Hash tables (hash) =====
// ===== End of hash tables =====

// ===== Symbols, definitions, nets, object access (sym, symif, symtbl, net, miscif, glob) =====
// ===== End of symbols =====

// ===== Properties (prop, propif, proptbl) =====
// ===== End of properties =====

// ===== Nets, nodes and buses (netif, node, nodeif) =====
// ===== End of nodes =====

// ===== Ports (port, portif, porttbl) =====
// ===== End of ports =====

// ===== File opening and line/section reader (rd, rd2) =====
// ===== End of file reader =====

// ===== Schematic, symbol and design readers (rdss, rdss2, rdss3, rddsn, rddsn2) =====
// ===== End of readers =====

// ===== Library options and read driver (pc) =====
// ===== End of read driver =====

} // namespace kdx
