// A preloaded shim (LD_PRELOAD) that makes chosen files stall as they do on a hung network mount or a
// cloud folder that fetches them on demand: opening <folder>/<name> for reading blocks while the
// control entry <folder>/.stall-<name> exists, and every such open is noted in <folder>/.stall-opens.
// A control entry that is a FIFO releases the opens blocked on it when the test writes to it and
// closes it (StallingReads.h); any other control file blocks them for good. Only the open stalls: a
// stat of the file answers at once, as it does on such mounts.
//
// While stalling_reads_refuse_threads(1) holds, no thread can be made (pthread_create fails with
// EAGAIN), as past the user's limit on threads.
//
// Plain C calls only, no sanitizer: the shim is loaded before everything else.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <atomic>

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OpenAt = int (*)(int, const char*, int, ...);

OpenAt realOpenAt() {
    static OpenAt real = reinterpret_cast<OpenAt>(dlsym(RTLD_NEXT, "openat"));
    return real;
}

void note(int folder, const char* log, const char* name) {
    const int fd = realOpenAt()(folder, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    char line[NAME_MAX + 2];
    const int length = std::snprintf(line, sizeof line, "%s\n", name);
    if (length > 0 && write(fd, line, size_t(length)) < 0) {
        // Nothing to do: the count is only short.
    }
    close(fd);
}

void stallIfMarked(int folder, const char* path, int flags) {
    if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_DIRECTORY) || !path)
        return;
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    if (name[0] == '.' || name[0] == '\0')
        return;
    const int folderLength = slash ? int(slash - path + 1) : 0;
    char control[PATH_MAX];
    char log[PATH_MAX];
    if (std::snprintf(control, sizeof control, "%.*s.stall-%s", folderLength, path, name) >= PATH_MAX ||
        std::snprintf(log, sizeof log, "%.*s.stall-opens", folderLength, path) >= PATH_MAX)
        return;
    struct stat st;
    if (fstatat(folder, control, &st, 0) != 0)
        return;
    const int saved = errno;
    note(folder, log, name);
    if (S_ISFIFO(st.st_mode)) {
        const int fifo = realOpenAt()(folder, control, O_RDONLY | O_CLOEXEC);
        char byte;
        while (fifo >= 0 && (read(fifo, &byte, 1) > 0 || errno == EINTR)) {
        }
        if (fifo >= 0)
            close(fifo);
    } else {
        for (;;)
            pause();
    }
    errno = saved;
}

mode_t modeOf(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

int openChecked(int folder, const char* path, int flags, mode_t mode) {
    stallIfMarked(folder, path, flags);
    return realOpenAt()(folder, path, flags, mode);
}

std::atomic<bool> threadsRefused{false};

} // namespace

extern "C" {

void stalling_reads_refuse_threads(int refuse) {
    threadsRefused = refuse != 0;
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*run)(void*), void* argument) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (threadsRefused)
        return EAGAIN;
    return real(thread, attributes, run, argument);
}

int openat(int folder, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return openChecked(folder, path, flags, mode);
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return openChecked(AT_FDCWD, path, flags, mode);
}

// What fortified builds call.
int __openat_2(int folder, const char* path, int flags) {
    return openChecked(folder, path, flags, 0);
}

int __open_2(const char* path, int flags) {
    return openChecked(AT_FDCWD, path, flags, 0);
}

// The large-file names are the same calls on 64-bit systems.
int openat64(int, const char*, int, ...) __attribute__((alias("openat")));
int open64(const char*, int, ...) __attribute__((alias("open")));
int __openat64_2(int, const char*, int) __attribute__((alias("__openat_2")));
int __open64_2(const char*, int) __attribute__((alias("__open_2")));

} // extern "C"
