/* Preloaded into a test's child process: writes one line per open, sync, rename and unlink to the file named by
 * LINGCHAO_SYSCALL_LOG, with the file's identity (device:inode) and path as the kernel sees them, so a test can
 * follow a file whatever it was called when it was written.
 *   open  RESULT DEV:INO PATH        (RESULT is the fd, or -errno)
 *   fsync RESULT DEV:INO PATH        (also fdatasync)
 *   rename RESULT DEV:INO FROM -> TO (DEV:INO of what is at TO afterwards)
 *   unlink RESULT PATH
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static int log_fd = -2;

static void emit(const char* line) {
    if (log_fd == -2) {
        const char* name = getenv("LINGCHAO_SYSCALL_LOG");
        log_fd = name ? (int)syscall(SYS_openat, AT_FDCWD, name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (log_fd >= 0) syscall(SYS_write, log_fd, line, strlen(line));
}

static void fd_identity(int fd, char* out, size_t size) {
    struct stat st;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    if (fstat(fd, &st) == 0)
        snprintf(out, size, "%lu:%lu %s", (unsigned long)st.st_dev, (unsigned long)st.st_ino, path);
    else
        snprintf(out, size, "?:? %s", path);
}

/* A path relative to a folder fd, made absolute for the log. */
static void at_path(int dir, const char* name, char* out, size_t size) {
    if (name[0] == '/' || dir == AT_FDCWD) {
        if (name[0] == '/' || !getcwd(out, size)) {
            snprintf(out, size, "%s", name);
            return;
        }
        const size_t len = strlen(out);
        snprintf(out + len, size - len, "/%s", name);
        return;
    }
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
    const ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = '\0';
    const size_t len = strlen(out);
    snprintf(out + len, size - len, "/%s", name);
}

static void log_fd_call(const char* what, int result, int fd) {
    char id[PATH_MAX + 64], line[PATH_MAX + 128];
    const int saved = errno;
    fd_identity(fd, id, sizeof id);
    snprintf(line, sizeof line, "%s %d %s\n", what, result < 0 ? -saved : result, id);
    emit(line);
    errno = saved;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static int opened(int fd, int dir, const char* path) {
    char line[PATH_MAX + 128];
    const int saved = errno;
    if (fd >= 0) {
        log_fd_call("open", fd, fd);
    } else {
        char full[PATH_MAX];
        at_path(dir, path, full, sizeof full);
        snprintf(line, sizeof line, "open %d ?:? %s\n", -saved, full);
        emit(line);
    }
    errno = saved;
    return fd;
}

static mode_t mode_arg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return opened(REAL(open)(path, flags, mode), AT_FDCWD, path);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return opened(REAL(open64)(path, flags, mode), AT_FDCWD, path);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return opened(REAL(openat)(dir, path, flags, mode), dir, path);
}

int openat64(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return opened(REAL(openat64)(dir, path, flags, mode), dir, path);
}

int fsync(int fd) {
    const int r = REAL(fsync)(fd);
    log_fd_call("fsync", r, fd);
    return r;
}

int fdatasync(int fd) {
    const int r = REAL(fdatasync)(fd);
    log_fd_call("fsync", r, fd);
    return r;
}

static int renamed(int result, int from_dir, const char* from, int to_dir, const char* to) {
    char a[PATH_MAX], b[PATH_MAX], line[3 * PATH_MAX];
    struct stat st;
    const int saved = errno;
    at_path(from_dir, from, a, sizeof a);
    at_path(to_dir, to, b, sizeof b);
    if (stat(b, &st) != 0) st.st_dev = st.st_ino = 0;
    snprintf(line, sizeof line, "rename %d %lu:%lu %s -> %s\n", result < 0 ? -saved : result,
             (unsigned long)st.st_dev, (unsigned long)st.st_ino, a, b);
    emit(line);
    errno = saved;
    return result;
}

int rename(const char* from, const char* to) {
    return renamed(REAL(rename)(from, to), AT_FDCWD, from, AT_FDCWD, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    return renamed(REAL(renameat)(from_dir, from, to_dir, to), from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
    return renamed(REAL(renameat2)(from_dir, from, to_dir, to, flags), from_dir, from, to_dir, to);
}

static int unlinked(int result, int dir, const char* path) {
    char full[PATH_MAX], line[PATH_MAX + 64];
    const int saved = errno;
    at_path(dir, path, full, sizeof full);
    snprintf(line, sizeof line, "unlink %d %s\n", result < 0 ? -saved : result, full);
    emit(line);
    errno = saved;
    return result;
}

int unlink(const char* path) { return unlinked(REAL(unlink)(path), AT_FDCWD, path); }

int unlinkat(int dir, const char* path, int flags) { return unlinked(REAL(unlinkat)(dir, path, flags), dir, path); }
