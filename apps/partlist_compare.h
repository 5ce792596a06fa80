// partlist_compare.h - what changed between two revisions of a design's part list.
//
// A bill of materials is made again at every revision of a board, and what purchasing and
// assembly need then is what changed: the parts to add to the order, those to drop, the placed
// references that now carry another value. Both revisions are given as the totals of a JSON
// export (a file written earlier, or the export of this run); a group is a category, a part name
// and a property text, as in the export.
//
// Every reference that differs is one change of one kind: it came (placed only in the new
// revision), it went (only in the old one), or it moved (placed in both, in another group). A
// group whose references differ is added, removed or changed; a reference that moved is listed
// once, as a move, not as a removal from one group and an addition to another.
#pragma once

#include "partlist_export.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace partlist::compare {

// One group of the totals.
struct Total {
    std::string_view category, name, property, description;
    std::vector<std::string_view> references; // in the export's (natural) order
};

// The totals of one export, read whole. The texts live as long as the part list.
class PartList {
  public:
    PartList();
    ~PartList();
    PartList(const PartList &) = delete;
    PartList &operator=(const PartList &) = delete;

    // Reads an export; false with the reason in `error` when the file cannot be read or is no
    // export of a format this command reads. Nothing is kept of a file that fails.
    bool read(const char *file, std::string &error);
    // The same from the start of an open stream (the export of this run).
    bool read(std::FILE *f, std::string &error);

    std::string_view design() const { return design_; }
    const std::vector<Total> &totals() const { return totals_; }

  private:
    bool take(std::string &error);

    struct Parser;
    std::unique_ptr<Parser> parser_;
    std::string_view design_;
    std::vector<Total> totals_;
};

// A reference placed in both revisions, in another group.
struct Move {
    std::string_view reference;
    const Total *from = nullptr; // its group in the old revision
};

// The changes of one group: those of its references (moves into it included; a move out of it is
// listed at the group it went to) and of its description.
struct Change {
    const Total *was = nullptr; // the group in the old revision, null when it was added
    const Total *now = nullptr; // in the new one, null when it was removed
    std::vector<std::string_view> came, went; // in natural order, moves left out
    std::vector<Move> movedin;
    bool references = false; // its references differ
    bool described = false;  // both have it, with other descriptions
};

// The changes group by group, in the export's order of the groups.
struct Changes {
    std::vector<Change> groups;
    std::size_t added = 0, removed = 0, changed = 0, moved = 0, described = 0;
};

Changes compare(const PartList &old, const PartList &now);

enum class Format { text, csv, json };

// Writes the changes; `oldname` and `newname` say what was compared. False when the stream
// failed.
bool writechanges(std::FILE *out, const Changes &changes, Format format, const std::string &oldname,
                  const std::string &newname);

// The exit codes of a comparison: changes found are no failure.
inline constexpr int EXIT_COMPARED = 0;
inline constexpr int EXIT_COMPARE = 5;  // a part list to compare could not be read
inline constexpr int EXIT_NOOUTPUT = 3; // the changes could not be written

// The command's comparison (--compare OLD.json, --changes FORMAT): the changes go to standard
// output, and what goes wrong is said on standard error. A build without a JSON reader (the
// Windows one) knows the options and refuses them.
class Comparison {
  public:
    Comparison();
    ~Comparison();
    Comparison(const Comparison &) = delete;
    Comparison &operator=(const Comparison &) = delete;

    // Takes --compare or --changes; false (with a message) for a value it cannot take.
    bool option(const char *option, const char *value);
    bool asked() const { return oldfile_ != nullptr; }

    // True when the arguments left for the run name an export (a ".json" file) rather than a
    // design: then the two exports are compared, and there is no run.
    bool betweenexports(const std::vector<char *> &args) const;
    int compareexports(const char *newfile);

    // Reads the earlier export before a run; then compares the run's part list with it.
    bool readold();
    int comparerun();

  private:
    const char *oldfile_ = nullptr;
    Format format_ = Format::text;
    std::unique_ptr<PartList> old_;
};

} // namespace partlist::compare
