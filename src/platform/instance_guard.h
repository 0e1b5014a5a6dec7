#pragma once

#include <filesystem>
#include <string>

namespace lingchao {

enum class GuardOutcome {
    Acquired,       // this copy holds the guard
    HeldByAnother,  // another running copy holds it
    Unavailable,    // the guard file cannot be used at all (see reason); nothing is known about other copies
};

struct GuardResult {
    GuardOutcome outcome = GuardOutcome::Unavailable;
    std::string reason;  // why, for Unavailable
};

// One running copy per user. The operating system releases the guard when its holder ends, however it ends.
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

}  // namespace lingchao
