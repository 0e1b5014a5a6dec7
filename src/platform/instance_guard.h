#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lingchao {

enum class GuardOutcome {
    Acquired,       // this copy holds the guard
    HeldByAnother,  // another running copy holds it
    Unavailable,    // a guard file cannot be used (see reason): nothing is known about the copies it would keep out
};

struct GuardResult {
    GuardOutcome outcome = GuardOutcome::Unavailable;
    std::string reason;  // why, for Unavailable
};

// One running copy. The operating system releases the guard when its holder ends, however it ends.
class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // Takes the guard without waiting; Acquired again when this object already holds it.
    virtual GuardResult Acquire() = 0;
    // Lets go of the guard (another copy may start); nothing when not held.
    virtual void Release() = 0;
    // Takes the guard back after Release (a refused shutdown); same outcomes as Acquire.
    virtual GuardResult Reacquire() = 0;
    // True while this object holds the guard.
    virtual bool IsHeld() const = 0;
};

// flock() on an empty guard file that stays open while the guard is held. The file must lie in a folder of the
// user's own that no one else can write (else another user could hold or replace it), must not be a link and
// must be a regular file of the user's; otherwise the guard is Unavailable, with the reason.
class FileInstanceGuard final : public InstanceGuard {
public:
    explicit FileInstanceGuard(std::filesystem::path path);
    ~FileInstanceGuard() override;
    FileInstanceGuard(const FileInstanceGuard&) = delete;
    FileInstanceGuard& operator=(const FileInstanceGuard&) = delete;

    GuardResult Acquire() override;
    void Release() override;
    GuardResult Reacquire() override;
    bool IsHeld() const override { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// flock() on the guard file in the application folder: one running copy per folder, whoever started it and
// whatever its runtime folder, so that copies of other users or sessions on one timetable never both ring. The
// file is shared by design: made with mode 0644, not tied to an owner, and locked through a read-only descriptor
// when it cannot be opened for writing. A link, anything but a regular file, or a folder where the file cannot be
// made (read-only, missing) makes it Unavailable, with the reason.
class FolderInstanceGuard final : public InstanceGuard {
public:
    explicit FolderInstanceGuard(std::filesystem::path path);
    ~FolderInstanceGuard() override;
    FolderInstanceGuard(const FolderInstanceGuard&) = delete;
    FolderInstanceGuard& operator=(const FolderInstanceGuard&) = delete;

    GuardResult Acquire() override;
    void Release() override;
    GuardResult Reacquire() override;
    bool IsHeld() const override { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Several guards taken as one, in their order (every copy takes them in the same order, so two starting together
// never shut each other out). HeldByAnother when any of them is, and then none is kept; else Unavailable with the
// reasons of those that cannot be used, while the others stay held; else Acquired. IsHeld while any is held.
class CompositeInstanceGuard final : public InstanceGuard {
public:
    explicit CompositeInstanceGuard(std::vector<std::unique_ptr<InstanceGuard>> parts);

    GuardResult Acquire() override;
    void Release() override;
    GuardResult Reacquire() override;
    bool IsHeld() const override;

private:
    GuardResult Take(bool again);
    std::vector<std::unique_ptr<InstanceGuard>> parts_;
};

// Where the guard may live, from the environment.
struct GuardPlaces {
    std::string runtimeDir;  // $XDG_RUNTIME_DIR
    std::string cacheHome;   // $XDG_CACHE_HOME
    std::string home;        // $HOME, else the home folder of the user's account
    std::filesystem::path tmp = "/tmp";
};

// The guard file in the first place no other user can write: $XDG_RUNTIME_DIR/lingchao.lock when that folder is
// the user's own and closed to others; else lingchao/lingchao.lock in the cache folder ($XDG_CACHE_HOME, else
// ~/.cache); else <tmp>/lingchao-<uid>/lingchao.lock. The lingchao folder is made with mode 0700 when missing.
std::filesystem::path GuardPathIn(const GuardPlaces& places);
// GuardPathIn for this process's environment.
std::filesystem::path DefaultGuardPath();

// <appFolder>/lingchao.lock.
std::filesystem::path AppFolderGuardPath(const std::filesystem::path& appFolder);

// The program's guard: the user's at `userGuard`, then the application folder's (one guard when both name the
// same file). The overload without `userGuard` uses DefaultGuardPath().
std::unique_ptr<InstanceGuard> MakeInstanceGuard(const std::filesystem::path& userGuard,
                                                 const std::filesystem::path& appFolder);
std::unique_ptr<InstanceGuard> MakeInstanceGuard(const std::filesystem::path& appFolder);

}  // namespace lingchao
