// asyncfile.cpp - the write stream whose bytes a helper thread writes.
//
// The stream is a stdio cookie stream: each buffer stdio hands to the cookie is copied and handed
// to a helper (a Worker), which writes the buffers to the file in order; WriteOwned hands over a
// caller's buffer without the copy. Few buffers may wait, so a slow disk holds the caller back
// instead of letting the copies pile up.
//
// The helper also has the kernel start writing each buffer to disk once it is written. Left to
// the end, that work falls on the caller: the file systems that delay allocating a file's blocks
// allocate them all (and start the writing) when the file is closed after being emptied, or is
// renamed over another, as the report and the export are. Started by the helper, it is done
// beside the run, and the close and rename at its end only find the last buffer left.
#include "platform/asyncfile.h"

#include "platform/worker.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace platform {

#ifdef _WIN32

std::FILE *OpenAsyncWrite(const char *name, FileMode mode) {
    return std::fopen(name, mode == FileMode::text ? "w" : "wb");
}

bool WriteOwned(std::FILE *f, std::shared_ptr<char[]> data, std::size_t size) {
    return std::fwrite(data.get(), 1, size, f) == size;
}

#else

namespace {

inline constexpr std::size_t MAXQUEUED = 4;               // buffers handed over and not yet written
inline constexpr std::size_t STREAMBUF_SIZE = 256 * 1024; // the stream's buffer
inline constexpr mode_t NEWFILE_MODE = 0666;              // as fopen makes a file, before the umask

class AsyncWriter {
  public:
    explicit AsyncWriter(int fd) : fd_(fd) {}
    AsyncWriter(const AsyncWriter &) = delete;
    AsyncWriter &operator=(const AsyncWriter &) = delete;

    // Takes a copy of the bytes for the helper; -1 once a write has failed.
    ssize_t write(const char *buf, std::size_t size) {
        if (size == 0) return 0;
        std::shared_ptr<char[]> copy;
        try {
            copy.reset(new char[size]);
        } catch (const std::bad_alloc &) {
            return writehere(buf, size);
        }
        std::copy(buf, buf + size, copy.get());
        return write(std::move(copy), size);
    }

    // Hands the bytes to the helper; -1 once a write has failed. When the hand-over cannot be
    // had the bytes are written here, behind those handed over, so memory running short never
    // loses report text.
    ssize_t write(std::shared_ptr<char[]> data, std::size_t size) {
        if (size == 0) return 0;
        if (const int error = failure(); error != 0) {
            errno = error;
            return -1;
        }
        try {
            helper_.post([this, data, size] { writeall(data.get(), size); });
        } catch (const std::bad_alloc &) {
            return writehere(data.get(), size);
        }
        return static_cast<ssize_t>(size);
    }

    // Waits for every buffer to be written and closes the file; -1 when anything failed.
    int close() {
        helper_.finish();
        int error = failure();
        if (error == 0 && helper_.failed()) error = EIO; // a buffer's write did not run
        if (::close(fd_) != 0 && error == 0) error = errno;
        if (error == 0) return 0;
        errno = error;
        return -1;
    }

  private:
    // Writes the bytes on the caller's thread, behind those handed over (which it waits for).
    ssize_t writehere(const char *buf, std::size_t size) {
        helper_.finish();
        writeall(buf, size);
        if (const int error = failure(); error != 0) {
            errno = error;
            return -1;
        }
        return static_cast<ssize_t>(size);
    }

    void fail(int error) {
        std::lock_guard lock(mutex_);
        if (error_ == 0) error_ = error != 0 ? error : EIO;
    }

    int failure() {
        std::lock_guard lock(mutex_);
        return error_;
    }

    // Writes bytes whole, unless a write has failed before.
    void writeall(const char *p, std::size_t size) {
        if (failure() != 0) return;
        std::size_t left = size;
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fail(n < 0 ? errno : EIO);
                return;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        startwriteback(size);
    }

    // A hint to the kernel, for the `size` bytes just written: nothing is lost when it is not
    // taken.
    void startwriteback(std::size_t size) {
#ifdef __linux__
        sync_file_range(fd_, written_, static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#endif
        written_ += static_cast<off_t>(size);
    }

    int fd_;
    off_t written_ = 0; // bytes written so far (by the helper, or once it has ended)
    std::mutex mutex_;
    int error_ = 0;            // errno of the first failure, 0 while none
    Worker helper_{MAXQUEUED}; // ended (by close) before the members above go
};

// The streams open now and their writers, for WriteOwned.
struct OpenStreams {
    std::mutex mutex;
    std::vector<std::pair<std::FILE *, AsyncWriter *>> streams;
};

OpenStreams &openstreams() {
    static OpenStreams open;
    return open;
}

AsyncWriter *writerof(std::FILE *f) {
    OpenStreams &open = openstreams();
    std::lock_guard lock(open.mutex);
    for (const auto &[stream, writer] : open.streams)
        if (stream == f) return writer;
    return nullptr;
}

ssize_t cookiewrite(void *cookie, const char *buf, std::size_t size) {
    return static_cast<AsyncWriter *>(cookie)->write(buf, size);
}

int cookieclose(void *cookie) {
    auto *writer = static_cast<AsyncWriter *>(cookie);
    {
        OpenStreams &open = openstreams();
        std::lock_guard lock(open.mutex);
        std::erase_if(open.streams, [writer](const auto &entry) { return entry.second == writer; });
    }
    const int rc = writer->close();
    const int error = errno;
    delete writer;
    errno = error;
    return rc;
}

} // namespace

std::FILE *OpenAsyncWrite(const char *name, FileMode) {
    // Emptied here rather than on the helper: the caller may go on to read files, and none of
    // them may meet this one half replaced.
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, NEWFILE_MODE);
    if (fd < 0) return nullptr;
    AsyncWriter *writer = nullptr;
    try {
        writer = new AsyncWriter(fd); // its helper's queues allocate too
    } catch (const std::bad_alloc &) {
        ::close(fd);
        errno = ENOMEM;
        return nullptr;
    }
    const cookie_io_functions_t io{nullptr, cookiewrite, nullptr, cookieclose};
    if (std::FILE *f = fopencookie(writer, "w", io)) {
        // Each buffer stdio hands over is a copy and a hand-over to the helper: few large ones
        // cost less than stdio's own few kilobytes each. Without the buffer, stdio keeps its own.
        setvbuf(f, nullptr, _IOFBF, STREAMBUF_SIZE);
        try {
            OpenStreams &open = openstreams();
            std::lock_guard lock(open.mutex);
            open.streams.emplace_back(f, writer);
        } catch (const std::bad_alloc &) {
            // WriteOwned writes through the stream instead.
        }
        return f;
    }
    const int error = errno;
    writer->close(); // the file with it
    delete writer;
    errno = error;
    return nullptr;
}

bool WriteOwned(std::FILE *f, std::shared_ptr<char[]> data, std::size_t size) {
    AsyncWriter *writer = writerof(f);
    if (writer == nullptr) return std::fwrite(data.get(), 1, size, f) == size;
    return std::fflush(f) == 0 && writer->write(std::move(data), size) >= 0;
}

#endif

} // namespace platform
