// exports.cpp - the host entry points of libpartlist.so.
//
// Everything else in the library is built with hidden visibility; these are the only symbols a
// host (the window, the partlist command, another program) can reach.
#include "partlist.h"
