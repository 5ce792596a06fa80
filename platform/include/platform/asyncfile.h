// asyncfile.h - a write stream whose bytes reach the file from a helper thread.
//
// A report of a large design runs to tens of megabytes; the kernel's share of writing it (page
// cache allocation, copying, and releasing the pages of the file it replaces) would otherwise
// sit inside the run. The stream is an ordinary stdio stream: the caller formats into it as
// into any other, and each buffer it hands over is written by the helper while the caller goes
// on. The file is emptied when it is opened, before the caller goes on: a caller that reads a
// file after opening the stream never sees contents the stream is about to replace.
#pragma once

#include "platform/sysfile.h"

#include <cstddef>
#include <cstdio>
#include <memory>

namespace platform {

// Opens `name` for writing ("w" semantics: made when missing, emptied when present). Null (with
// errno set) when the file cannot be opened; the failure is known at once, as with fopen.
// A failed write shows later: the stream's error indicator is set at the next write once the
// helper has met it, and fclose returns EOF when any write failed. fclose waits for every byte.
// On Windows, which has no such streams, it is an ordinary stdio stream written by the caller.
std::FILE *OpenAsyncWrite(const char *name, FileMode mode);

// Writes the first `size` bytes of `data` to `f`, after what the stream holds. A stream of
// OpenAsyncWrite hands the buffer itself to its helper, so that a caller that formats into
// buffers of its own saves a copy of every byte; any other stream writes it as fwrite does.
// False when the bytes could not be handed over or written (errno set).
bool WriteOwned(std::FILE *f, std::shared_ptr<char[]> data, std::size_t size);

} // namespace platform
