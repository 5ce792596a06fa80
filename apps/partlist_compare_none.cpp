// partlist_compare_none.cpp - the comparison of a build without a JSON reader (Windows): the
// options are known, and refused with a word.
#include "partlist_compare.h"

namespace partlist::compare {

struct PartList::Parser {};
PartList::PartList() = default;
PartList::~PartList() = default;

Comparison::Comparison() = default;
Comparison::~Comparison() = default;

bool Comparison::option(const char *option, const char *) {
    std::fprintf(stderr, "partlist: %s: this build compares no part lists\n", option);
    return false;
}

bool Comparison::betweenexports(const std::vector<char *> &) const {
    return false;
}

int Comparison::compareexports(const char *) {
    return EXIT_COMPARE;
}

bool Comparison::readold() {
    return false;
}

int Comparison::comparerun() {
    return EXIT_COMPARE;
}

} // namespace partlist::compare
