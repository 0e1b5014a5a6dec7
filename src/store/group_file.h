#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "base/file_util.h"
#include "store/job_record.h"

namespace lingchao {

// No real timetable comes near this many jobs; a larger file is used up to it (and said so).
inline constexpr int kMaxJobs = 10000;
inline constexpr std::uint64_t kMaxGroupBytes = std::uint64_t{kMaxJobs} * JobRecordLength;

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

    // Number of jobs (at most kMaxJobs); a missing file is created and holds none.
    std::int16_t Count() const;

    // Record k; at or past the end (or k < 1) a blank record; the missing tail of a cut record is blank.
    JobRecord Read(int k) const;
    RecordBytes ReadBytes(int k) const;

    // Writes record k; past the end the file grows (records between are zero bytes). False on failure, with
    // the reason in `failure` when given.
    bool Write(int k, const JobRecord& record, std::string* failure = nullptr) const;
    bool WriteBytes(int k, const RecordBytes& bytes, std::string* failure = nullptr) const;

    // The whole file, at most its first kMaxJobs records (a missing one is created empty); nullopt when it cannot
    // be read at all (see LoadStored for why).
    std::optional<Bytes> Load() const;
    // As Load, with the reason when the file cannot be used whole.
    StoredFile LoadStored() const;
    // Replaces the file whole; `failure` (when given) says why it could not, in Chinese.
    bool Store(const Bytes& content, std::string* failure = nullptr) const;

    // Deletes the file; a missing one counts as deleted. `failure` as for Store.
    bool Remove(std::string* failure = nullptr) const;

private:
    std::filesystem::path path_;
};

// What the clock's warning says about a group file that cannot be used whole; "" when it can (a missing file is
// an empty timetable, no problem).
std::string TimetableProblemText(const std::filesystem::path& path, const StoredFile& file);

// "无法读取 <path>：<reason>" for a group file that cannot be changed because it cannot be read.
std::string UnreadableGroupText(const std::filesystem::path& path, const StoredFile& file);

// Record k's bytes within a loaded file, blank where the file ends.
RecordBytes RecordFrom(const Bytes& file, int k);
// Puts record k into a loaded file, growing it as writing past the end would.
void PutRecord(Bytes& file, int k, const RecordBytes& record);

}  // namespace lingchao
