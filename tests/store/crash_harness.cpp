#include "crash_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/jilu.h"
#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao::test {
namespace {

// Set in the child only: where it reports, where it waits, and whether file calls stop it.
int reportFd = -1;
int goFd = -1;
bool stopAtFileCalls = false;

void Stop(Point point) {
    if (reportFd < 0) return;
    const char c = static_cast<char>(point);
    if (syscall(SYS_write, reportFd, &c, 1) != 1) _exit(3);
    char go = 0;
    long n;
    while ((n = syscall(SYS_read, goFd, &go, 1)) < 0 && errno == EINTR) {
    }
    if (n != 1) _exit(3);
}

bool Watching() { return reportFd >= 0 && stopAtFileCalls; }

bool IsRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Passes a call through and, while watching, stops after it.
long After(long result) {
    const int saved = errno;
    if (Watching()) Stop(Point::FileCall);
    errno = saved;
    return result;
}

}  // namespace
}  // namespace lingchao::test

// The file calls of this executable (the store's code is linked in) come here first. They go straight to the
// kernel, so the stops do not depend on how the C library or a sanitizer wraps them.
extern "C" {

ssize_t write(int fd, const void* buf, size_t n) {
    using namespace lingchao::test;
    if (!Watching() || !IsRegularFile(fd)) return syscall(SYS_write, fd, buf, n);
    // Half at a time: a kill then also finds a file written in part.
    return After(syscall(SYS_write, fd, buf, n > 1 ? (n + 1) / 2 : n));
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
    using namespace lingchao::test;
    if (!Watching() || !IsRegularFile(fd)) return syscall(SYS_pwrite64, fd, buf, n, offset);
    return After(syscall(SYS_pwrite64, fd, buf, n > 1 ? (n + 1) / 2 : n, offset));
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t offset) { return pwrite(fd, buf, n, offset); }

ssize_t writev(int fd, const struct iovec* iov, int count) {
    using namespace lingchao::test;
    const long r = syscall(SYS_writev, fd, iov, count);
    return IsRegularFile(fd) ? After(r) : r;
}

int fsync(int fd) { return static_cast<int>(lingchao::test::After(syscall(SYS_fsync, fd))); }

int fdatasync(int fd) { return static_cast<int>(lingchao::test::After(syscall(SYS_fdatasync, fd))); }

int ftruncate(int fd, off_t length) noexcept {
    return static_cast<int>(lingchao::test::After(syscall(SYS_ftruncate, fd, length)));
}

int rename(const char* from, const char* to) noexcept {
    return static_cast<int>(lingchao::test::After(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0)));
}

int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept {
    return static_cast<int>(lingchao::test::After(syscall(SYS_renameat2, fromDir, from, toDir, to, 0)));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) noexcept {
    return static_cast<int>(lingchao::test::After(syscall(SYS_renameat2, fromDir, from, toDir, to, flags)));
}

int unlink(const char* path) noexcept {
    return static_cast<int>(lingchao::test::After(syscall(SYS_unlinkat, AT_FDCWD, path, 0)));
}

int unlinkat(int dir, const char* path, int flags) noexcept {
    return static_cast<int>(lingchao::test::After(syscall(SYS_unlinkat, dir, path, flags)));
}

}  // extern "C"

namespace lingchao::test {

void WriteStartGroup(const std::filesystem::path& file) { WriteNumberedGroup(file, 6); }

// The same edits every time: moves, removes and additions over a small group.
void RunOps(const std::filesystem::path& folder, int from, int to, const std::function<void(int)>& afterEach) {
    FakeList list;
    Jilu jilu(folder, &list, nullptr);
    jilu.LoadJobTable(kDefaultGroup);
    for (int i = from; i < to; ++i) {
        const int count = list.RowCount();
        switch (i % 4) {
            case 0:
                jilu.SwapJobRecords(kDefaultGroup, 1 + i % (count - 1), +1);
                break;
            case 1:
                jilu.DeleteJobRecord(kDefaultGroup, 1 + (i * 7) % count, count);
                break;
            case 2:
                jilu.SwapJobRecords(kDefaultGroup, 2 + i % (count - 1), -1);
                break;
            case 3: {
                JobEditorFields f;
                f.number = std::to_string(count + 1);
                f.name = "新" + std::to_string(i);
                f.time = "09:00";
                jilu.SaveJobFromEditor(kDefaultGroup, f);
                break;
            }
        }
        jilu.LoadJobTable(kDefaultGroup);
        if (afterEach) afterEach(i);
    }
}

std::vector<State> ReferenceStates() {
    TempFolder dir;
    WriteStartGroup(dir / kDefaultGroup);
    std::vector<State> states{ReadAll(dir / kDefaultGroup)};
    RunOps(dir.path(), 0, kCrashOps, [&](int) { states.push_back(ReadAll(dir / kDefaultGroup)); });
    return states;
}

void ReportStep() { Stop(Point::Step); }

int RunChild(const std::function<void()>& body, bool fileCalls, const std::function<bool(int, Point)>& killHere) {
    int report[2], go[2];
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(go, O_CLOEXEC) != 0) std::abort();
    const pid_t child = fork();
    if (child < 0) std::abort();
    if (child == 0) {
        ::close(report[0]);
        ::close(go[1]);
        reportFd = report[1];
        goFd = go[0];
        stopAtFileCalls = fileCalls;
        body();
        _exit(0);
    }
    ::close(report[1]);
    ::close(go[0]);
    int stop = 0;
    int killedAt = 0;
    for (;;) {
        char c = 0;
        const long n = ::read(report[0], &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) break;  // the child ended
        ++stop;
        if (killHere(stop, static_cast<Point>(c))) {
            ::kill(child, SIGKILL);
            killedAt = stop;
            break;
        }
        const char g = 'g';
        if (::write(go[1], &g, 1) != 1) break;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    ::close(go[1]);
    if (killedAt == 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        std::fprintf(stderr, "the child failed (status %d)\n", status);
        std::abort();
    }
    return killedAt;
}

}  // namespace lingchao::test
