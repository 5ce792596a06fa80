// runsupport.h - a part-list run from a list of words, as a command line gives them.
#pragma once

#include "partlist.h"

#include <string>
#include <vector>

namespace testsupport {

// Runs partlist::main on "partlist" followed by args, in this process; returns its status.
inline int runpartlist(std::vector<std::string> args) {
    args.insert(args.begin(), "partlist");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return partlist::main(static_cast<int>(args.size()), argv.data());
}

} // namespace testsupport
