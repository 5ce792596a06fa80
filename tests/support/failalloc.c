/* failalloc.c - an LD_PRELOAD shim that makes one allocation of a process fail.
 *
 *   PARTLIST_FAILALLOC=N        the N-th allocation call (from the first one this shim sees)
 *                               returns NULL with errno ENOMEM; every other one succeeds
 *   PARTLIST_FAILALLOC_COUNT=F  at exit, writes the number of allocation calls seen to F
 *   PARTLIST_FAILSYNC=1         fsync and fdatasync fail with EIO
 *
 * The shim forwards to glibc's own entry points rather than looking the next definition up with
 * dlsym, which itself allocates and would come back here before it knows where to go. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);
extern void *__libc_memalign(size_t, size_t);

/* The C++ runtime allocates in its constructor, before ours may have run: the settings are read
 * on the first call that finds the environment set up. Helper threads start later, so plain
 * variables do for them; only the count is shared by threads that allocate. */
static unsigned long calls;
static unsigned long failat;
static int failsync;
static int configured;

static unsigned long number(const char *text) {
    unsigned long n = 0;
    while (text != NULL && *text >= '0' && *text <= '9')
        n = n * 10 + (unsigned long)(*text++ - '0');
    return n;
}

__attribute__((constructor)) static void configure(void) {
    if (configured || environ == NULL) return;
    failat = number(getenv("PARTLIST_FAILALLOC"));
    const char *sync = getenv("PARTLIST_FAILSYNC");
    failsync = sync != NULL && sync[0] == '1';
    configured = 1;
}

/* True for the call that is to fail. Counting goes on all the time, for the count at exit. */
static int failing(void) {
    configure();
    if (__atomic_add_fetch(&calls, 1, __ATOMIC_RELAXED) != failat) return 0;
    errno = ENOMEM;
    return 1;
}

/* Written at the exit with no allocation of its own, so that the count is the run's alone. */
__attribute__((destructor)) static void writecount(void) {
    const char *file = getenv("PARTLIST_FAILALLOC_COUNT");
    if (file == NULL) return;
    char text[24];
    const int len = snprintf(text, sizeof text, "%lu\n", __atomic_load_n(&calls, __ATOMIC_RELAXED));
    const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, text, (size_t)len) != len) {
        /* the driver finds no count and says so */
    }
    close(fd);
}

void *malloc(size_t size) {
    return failing() ? NULL : __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
    return failing() ? NULL : __libc_calloc(count, size);
}

/* realloc(p, 0) frees p: failing it would leak p, so it is not an allocation that can fail. */
void *realloc(void *old, size_t size) {
    if (old != NULL && size == 0) return __libc_realloc(old, size);
    return failing() ? NULL : __libc_realloc(old, size);
}

void *memalign(size_t align, size_t size) {
    return failing() ? NULL : __libc_memalign(align, size);
}

void *aligned_alloc(size_t align, size_t size) {
    return memalign(align, size);
}

void *valloc(size_t size) {
    return memalign((size_t)sysconf(_SC_PAGESIZE), size);
}

void *pvalloc(size_t size) {
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    return memalign(page, (size + page - 1) & ~(page - 1));
}

int posix_memalign(void **out, size_t align, size_t size) {
    if (align < sizeof(void *) || (align & (align - 1)) != 0) return EINVAL;
    const int saved = errno; /* posix_memalign reports through its result, not errno */
    void *p = memalign(align, size);
    if (p == NULL) {
        errno = saved;
        return ENOMEM;
    }
    *out = p;
    return 0;
}

int fdatasync(int fd) {
    if (failsync) {
        errno = EIO;
        return -1;
    }
    return (int)syscall(SYS_fdatasync, fd);
}

int fsync(int fd) {
    if (failsync) {
        errno = EIO;
        return -1;
    }
    return (int)syscall(SYS_fsync, fd);
}
