// partlist_outputs.cpp - the rule for where a run's outputs may go (see partlist_outputs.h).
//
// Owns the identities of the run's own outputs (its log and its report) from the moment each is
// there until the next run starts, so that the command can hold its exports against them after
// the run.
#include "partlist_outputs.h"
#include "partlistint.h"

#include "cfpath.h"
#include "platform/placefile.h"
#include "platform/sysfile.h"

#include <cstdio>

namespace partlist {

namespace {

// The run's log and report, as far as they are there.
struct RunOutputs {
    platform::FileId files[2];
    int count = 0;
};

constinit RunOutputs outputs{};

} // namespace

void forgetoutputs() {
    outputs.count = 0;
}

void keepoutput(const char *name) {
    platform::FileId id;
    if (outputs.count < 2 && platform::IdOfFile(name, id)) outputs.files[outputs.count++] = id;
}

Refusal outputrefusal(const char *name) {
    platform::FileId id;
    if (name == nullptr || !platform::IdOfFile(name, id)) return Refusal::none;
    if (cf::OpenedForReading(id) || ismapfile(id)) return Refusal::read;
    for (int i = 0; i < outputs.count; ++i)
        if (outputs.files[i] == id) return Refusal::written;
    return Refusal::none;
}

const char *refusalreason(Refusal refusal) {
    switch (refusal) {
    case Refusal::read:
        return "the run read it";
    case Refusal::written:
        return "the run wrote it";
    case Refusal::none:
        break;
    }
    return "";
}

Placed placeoutput(const char *temp, const char *name, Refusal *refusal) {
    *refusal = outputrefusal(name);
    if (*refusal != Refusal::none) {
        std::remove(temp);
        return Placed::refused;
    }
    return platform::PlaceFile(temp, name) ? Placed::done : Placed::failed;
}

} // namespace partlist
