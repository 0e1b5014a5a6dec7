#pragma once

#include <filesystem>
#include <string>

namespace lingchao::test {

// Bad things a teacher's folder can hold, for the reading and writing code to meet.

// A FIFO with no writer: a plain open() for reading would wait for good.
void MakeFifo(const std::filesystem::path& path);

// A sparse regular file of `bytes` length (takes no disk space).
void MakeSparseFile(const std::filesystem::path& path, std::uint64_t bytes);

// Permissions count for this process while the object lives, also when it runs as root (CI does): the
// capabilities that let root read, write and search anything are taken out of its effective set, and given back.
class PermissionsApply final {
public:
    PermissionsApply();
    ~PermissionsApply();
    PermissionsApply(const PermissionsApply&) = delete;
    PermissionsApply& operator=(const PermissionsApply&) = delete;

private:
    unsigned saved_[2] = {0, 0};
    bool changed_ = false;
};

// A tiny filesystem mounted on `folder` in a mount namespace of this process's own (nothing outside the test
// sees it), so a write there runs out of space. Available() is false where mounting is not allowed; the test
// then says so and skips.
class SmallFilesystem final {
public:
    SmallFilesystem(const std::filesystem::path& folder, std::size_t kilobytes);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;
    bool Available() const { return mounted_; }
    const std::string& why() const { return why_; }
    // Fills what is left with one file, so that the next write fails with ENOSPC.
    void Fill();

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace lingchao::test
