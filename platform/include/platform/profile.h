// profile.h - initialisation files and the per-user registry file.
//
// The suite and its host keep their settings in Windows-style initialisation files ("[section]"
// lines and "key=value" entries) and finds its home directory under a registry key. Here both are
// plain text files in that form, read with the rules the suite was written against: sections and
// keys match without regard to case, the first matching section and within it the first matching
// key win, values are trimmed (and lose one pair of enclosing quotes), a missing entry gives the
// default, and the result is cut to the caller's buffer.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The directory that stands in for the Windows directory: $XDG_CONFIG_HOME/morvek, or
// ~/.config/morvek when XDG_CONFIG_HOME is unset or empty. No trailing separator.
std::string ConfigDir();

// Reads `key` of `section` from the initialisation file `file` into buf (size bytes, terminator
// included) and returns the number of characters stored. A file name without any '/' or '\' is
// looked for in ConfigDir(). When the file, the section or the key is missing, the default is
// stored instead (null reads as "", trailing blanks dropped). A value longer than size - 1 is cut
// to size - 1 characters; size 0 stores nothing. A null section or key finds nothing.
std::size_t GetPrivateProfileString(const char *section, const char *key, const char *def,
                                    char *buf, std::size_t size, const char *file);

// The same lookup without the default: true and the whole value when the entry exists.
bool ReadProfileEntry(const char *file, const char *section, const char *key, std::string &value);

// Sets `key` of `section` in the initialisation file `file` to value, as the suite's profile
// writes do: every other line of the file stays as it stands; the entry that a lookup would find
// gets the new value (its key keeps its spelling); a missing key is added after the last line of
// the first section of that name, a missing section with its key at the end of the file (made,
// with its folder, when it does not exist). A bare file name is looked for in ConfigDir(). The
// file is replaced whole through a new file beside it. False, with the file unchanged, when it
// cannot be read or written, or when a text would not stay one entry (a line end anywhere, ']'
// in the section, '=' in the key, an empty key).
bool WritePrivateProfileString(const char *section, const char *key, const char *value,
                               const char *file);

// The host application's profile: $VANTRELL_PROFILE when set and not empty, else
// ConfigDir() + "/vantrell.ini"; a bare name is made to name the file in the current directory.
std::string HostProfileFile();

// Results of a registry read.
enum class RegResult {
    ok,      // the value is in the buffer
    absent,  // no registry file, key or value
    toolong, // the value does not fit the buffer; the buffer is left empty
};

// The registry file: $VANTRELL_REGISTRY when set and not empty, else
// ConfigDir() + "/registry.ini". Its sections are key paths ("Software\Morvek\...") and its
// entries value names.
std::string RegistryFile();

// Reads the value `name` of the key `keypath` of the current user into buf (size bytes,
// terminator included). The buffer is emptied first.
RegResult RegQueryString(const char *keypath, const char *name, char *buf, std::size_t size);

} // namespace platform
