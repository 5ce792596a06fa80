// partlist_export.h - the part list as data: per-sheet groups and whole-design totals.
//
// The fixed-column report is for reading; whoever orders the parts or assembles the board wants
// the whole-board quantity of each part and the reference of every placed part. When asked before
// a run, the run collects that beside the report from its own walk (the report and the log stay
// byte for byte what they are) and the command writes it as CSV or JSON afterwards.
//
// A group is what the report counts as one line: a part name and its property text. For every
// sheet the report lists, the export has the sheet's groups with the report's multiplied
// quantities and the sheet's own instance names; the totals add each group up over the whole
// design, with the reference of every placed part: the instance names from the top, joined by
// "/" (F2/U1/R3), in natural order (instance by instance, digits by value: R2 before R10). What the
// report leaves out (categories not chosen by -f, inactive instances) the export leaves out.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace partlist {

// The version of the JSON export's format: its first member, "partlist_export". Readers refuse a
// newer one. The CSV has no room for it; its header row is its format.
inline constexpr int EXPORT_FORMAT = 1;

// What a run collects beside the report.
inline constexpr unsigned EXPORT_MISSING = 1u << 0; // part names without a description
inline constexpr unsigned EXPORT_GROUPS = 1u << 1;  // the groups, totals and references

// Sets what the following runs collect (0: nothing, the runs cost what they always did).
void setexport(unsigned mode);

// True when the last run walked the whole design: it did not end on a fatal error.
bool exportcomplete();

// The part names the last run met that the description map does not describe (absent, or with
// an empty description), in byte order, each once; empty when the map held no record.
std::vector<std::string> undescribedparts();

// Write what the last run collected with EXPORT_GROUPS; false when the stream failed. Texts are
// UTF-8: a text that is not valid UTF-8 is read as Latin-1, as the suite's 8-bit files are.
bool writecsv(FILE *out);
bool writejson(FILE *out);

} // namespace partlist
