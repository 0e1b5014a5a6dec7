#pragma once

#include <cstdint>
#include <filesystem>

#include "base/file_util.h"
#include "store/job_record.h"

namespace lingchao {

// Job count from a file length: length / 4174 rounded to the nearest integer, a tie to the even one.
std::int16_t JobCountFromLength(std::uint64_t length);

// A job-group file: headerless records, record k (1-based) = job k. Each call opens, works and closes the file;
// every change replaces the file whole (see ReplaceFileAtomically), so a crash never leaves a mixed state.
class GroupFile final {
public:
    explicit GroupFile(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& Path() const { return path_; }

    // Creates the file empty when missing, as opening a group does; false when that fails.
    bool Open() const;

    // Number of jobs; a missing file is created and holds none.
    std::int16_t Count() const;

    // Record k; at or past the end (or k < 1) a blank record; the missing tail of a cut record is blank.
    JobRecord Read(int k) const;
    RecordBytes ReadBytes(int k) const;

    // Writes record k; past the end the file grows (records between are zero bytes). False on failure.
    bool Write(int k, const JobRecord& record) const;
    bool WriteBytes(int k, const RecordBytes& bytes) const;

    // The whole file (a missing one is created empty); nullopt when unreadable.
    std::optional<Bytes> Load() const;
    bool Store(const Bytes& content) const;

    bool Remove() const;

private:
    std::filesystem::path path_;
};

// Record k's bytes within a loaded file, blank where the file ends.
RecordBytes RecordFrom(const Bytes& file, int k);
// Puts record k into a loaded file, growing it as writing past the end would.
void PutRecord(Bytes& file, int k, const RecordBytes& record);

}  // namespace lingchao
