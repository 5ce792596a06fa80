// partlist_cmd.cpp - the partlist command: a thin host of the run entry.
#include "partlist.h"

int main() { return 0; }
