// partlist.h - the part-list utility: run driver, environment, part collection, report, map.
#pragma once

#define PARTLIST_EXPORT __attribute__((visibility("default")))
