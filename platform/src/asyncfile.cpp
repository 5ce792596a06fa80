// asyncfile.cpp - the write stream whose bytes a helper thread writes.
//
// The stream is a stdio cookie stream: each buffer stdio hands to the cookie is copied into a
// short queue, and the helper writes the queue to the file in order. The queue is bounded, so a
// slow disk holds the caller back instead of letting the copies pile up.
#include "platform/asyncfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

namespace {

inline constexpr std::size_t MAXQUEUED = 4;  // buffers handed over and not yet written
inline constexpr mode_t NEWFILE_MODE = 0666; // as fopen makes a file, before the umask

class AsyncWriter {
  public:
    explicit AsyncWriter(int fd) : fd_(fd) {}
    AsyncWriter(const AsyncWriter &) = delete;
    AsyncWriter &operator=(const AsyncWriter &) = delete;

    bool start() {
        try {
            helper_ = std::thread(&AsyncWriter::drain, this);
            return true;
        } catch (const std::system_error &) {
            return false;
        }
    }

    // Takes a copy of the bytes; -1 once a write has failed (or the copy cannot be had).
    ssize_t write(const char *buf, std::size_t size) {
        if (size == 0) return 0;
        std::vector<char> chunk;
        try {
            chunk.assign(buf, buf + size);
        } catch (const std::bad_alloc &) {
            errno = ENOMEM;
            return -1;
        }
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return queue_.size() < MAXQUEUED || error_ != 0; });
        if (error_ != 0) {
            errno = error_;
            return -1;
        }
        queue_.push_back(std::move(chunk));
        work_.notify_one();
        return static_cast<ssize_t>(size);
    }

    // Waits for the queue to be written and closes the file; -1 when anything failed.
    int close() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        work_.notify_one();
        helper_.join();
        int error = error_;
        if (::close(fd_) != 0 && error == 0) error = errno;
        if (error == 0) return 0;
        errno = error;
        return -1;
    }

  private:
    void fail(int error) {
        std::lock_guard lock(mutex_);
        if (error_ == 0) error_ = error != 0 ? error : EIO;
        room_.notify_all();
    }

    bool failed() {
        std::lock_guard lock(mutex_);
        return error_ != 0;
    }

    void writeall(const std::vector<char> &chunk) {
        const char *p = chunk.data();
        std::size_t left = chunk.size();
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
    }

    void drain() {
        // The old contents of a regular file go here rather than in the caller; a device or a
        // pipe has none to lose.
        struct stat st {};
        if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd_, 0) != 0) fail(errno);
        for (;;) {
            std::vector<char> chunk;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [this] { return !queue_.empty() || closing_; });
                if (queue_.empty()) return;
                chunk = std::move(queue_.front());
                queue_.pop_front();
            }
            room_.notify_one();
            if (!failed()) writeall(chunk);
        }
    }

    int fd_;
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable work_; // the helper waits for buffers
    std::condition_variable room_; // the caller waits for room in the queue
    std::deque<std::vector<char>> queue_;
    bool closing_ = false;
    int error_ = 0; // errno of the first failure, 0 while none
};

ssize_t cookiewrite(void *cookie, const char *buf, std::size_t size) {
    return static_cast<AsyncWriter *>(cookie)->write(buf, size);
}

int cookieclose(void *cookie) {
    auto *writer = static_cast<AsyncWriter *>(cookie);
    const int rc = writer->close();
    const int error = errno;
    delete writer;
    errno = error;
    return rc;
}

} // namespace

std::FILE *OpenAsyncWrite(const char *name) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, NEWFILE_MODE);
    if (fd < 0) return nullptr;
    auto *writer = new (std::nothrow) AsyncWriter(fd);
    if (writer != nullptr && writer->start()) {
        const cookie_io_functions_t io{nullptr, cookiewrite, nullptr, cookieclose};
        if (std::FILE *f = fopencookie(writer, "w", io)) return f;
        const int error = errno;
        writer->close(); // the file with it
        delete writer;
        errno = error;
        return nullptr;
    }
    delete writer;
    // Without a helper the file is written as any other.
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE *f = fdopen(fd, "w");
    if (f == nullptr) ::close(fd);
    return f;
}

} // namespace platform
