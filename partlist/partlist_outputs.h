// partlist_outputs.h - where the files a run writes may go.
//
// Nothing the command writes may replace a file the run read, nor another of its outputs: a
// report named like a sub-sheet would destroy the design, an export named like the log would
// lose the run's messages. The report, the log and the exports all ask here, so the rule is the
// same for every output, however the file is named (other spellings, links).
#pragma once

#include <string>

namespace partlist {

enum class Refusal {
    none,    // the output may replace the file (or there is none yet)
    read,    // a file the run read: design, symbol, netlist or start-up file, description map
    written, // the run's report or log
};

// Whether an output may replace the file `name` leads to. The files read are those of the last
// (or current) run and the description maps loaded; the outputs are that run's report and log.
Refusal outputrefusal(const char *name);

// The reason in words, for a message: "the run read it", "the run wrote it".
const char *refusalreason(Refusal refusal);

// How putting an output in place ended.
enum class Placed { done, failed, refused };

// Puts `temp` in place of `name` unless the rule refuses it (then `temp` is removed and *refusal
// says why); failed (errno set) when it could not be done, `temp` removed and `name` as it was.
Placed placeoutput(const char *temp, const char *name, Refusal *refusal);

} // namespace partlist
