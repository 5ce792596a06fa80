// rdss2_backup.cpp - module rdss2, continued: the backups made before a design file is rewritten.
//
// The old file goes into the directory "bak" under the user's home directory ("~/bak", expanded
// as every "~" path is), where it replaces an earlier backup of the same name. A move is a copy
// and a removal, and the source is removed only once its copy is whole, so a full disk never
// costs the old file. State: the path of the last backup, for the writer's messages.
#include "kdxint.h"
#include "platform/sysfile.h"

#include "cfpath.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kdx {

namespace {

inline constexpr std::size_t MVBLOCK = 1999; // bytes copied at a time
inline constexpr std::size_t BAKNAME = 4096; // the path kept for messages
constexpr const char BAKDIR[] = {'~', platform::PATH_SEPARATOR, 'b', 'a', 'k', '\0'};

constinit struct {
    char last[BAKNAME]; // the path of the last backup made
} bak{};

} // namespace

const char *xxbackupname() {
    return bak.last;
}

int xxmkdir(const char *dir) {
    RoutineScope scope("xxmkdir");
    if (dir && platform::KindOfFile(dir) == platform::FileKind::directory) return 1;
    if (!dir || !platform::MakeDirectory(dir)) {
        xxerr("e", "cannot create backup directory: \"%s\".", dir ? dir : "");
        return 0;
    }
    return 1;
}

int xxmv(const char *from, const char *to) {
    RoutineScope scope("xxmv");
    // Only a regular file is moved: a device or a pipe would be copied without end, or block.
    // A copy onto the file itself would empty it before it is read.
    platform::FileId src, dst;
    if (!from || !to || platform::KindOfFile(from) != platform::FileKind::regular) return 0;
    if (!platform::IdOfFile(from, src) || (platform::IdOfFile(to, dst) && dst == src)) return 0;
    FILE *in = std::fopen(from, "rb");
    if (!in) return 0;
    FILE *out = std::fopen(to, "wb");
    if (!out) {
        std::fclose(in);
        return 0;
    }
    char block[MVBLOCK];
    bool whole = true;
    for (std::size_t n; whole && (n = std::fread(block, 1, sizeof block, in)) > 0;)
        whole = std::fwrite(block, 1, n, out) == n;
    if (std::ferror(in)) whole = false;
    std::fclose(in);
    const bool plain = platform::IsRegularStream(out);
    if (std::fclose(out) != 0) whole = false;
    if (!whole) {
        // A partial copy is no backup (a device written to stays as it is).
        if (plain) std::remove(to);
        return 0;
    }
    return std::remove(from) == 0 ? 1 : 0;
}

int xxbackup(const char *path) {
    RoutineScope scope("xxbackup");
    char *dir = cf::exptilde(BAKDIR);
    if (!dir) {
        xxerr("e", "cannot create backup directory: \"%s\".", BAKDIR);
        return 0;
    }
    const std::string directory = dir;
    std::free(dir);
    if (!xxmkdir(directory.c_str())) return 0;
    const std::string target =
        directory + platform::PATH_SEPARATOR + cf::filepart(path ? path : "");
    if (!path || !xxmv(path, target.c_str())) {
        xxerr("er", "unable to back up file %s", path ? path : "");
        return 0;
    }
    std::snprintf(bak.last, sizeof bak.last, "%s", target.c_str());
    return 1;
}

} // namespace kdx
