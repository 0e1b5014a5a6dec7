#include "store/group_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/log.h"

namespace lingchao {

std::int16_t JobCountFromLength(std::uint64_t length) {
    const std::uint64_t whole = length / JobRecordLength;
    const std::uint64_t rest = length % JobRecordLength;
    std::uint64_t n = whole;
    if (rest * 2 > JobRecordLength || (rest * 2 == JobRecordLength && whole % 2 == 1)) ++n;
    return static_cast<std::int16_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::int16_t>::max()));
}

RecordBytes RecordFrom(const Bytes& file, int k) {
    RecordBytes out = BlankRecordBytes();
    if (k < 1) return out;
    const std::uint64_t start = static_cast<std::uint64_t>(k - 1) * JobRecordLength;
    if (start >= file.size()) return out;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(JobRecordLength, file.size() - start));
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(start), n, out.begin());
    return out;
}

void PutRecord(Bytes& file, int k, const RecordBytes& record) {
    if (k < 1) return;
    const std::size_t start = static_cast<std::size_t>(k - 1) * JobRecordLength;
    if (file.size() < start + JobRecordLength) file.resize(start + JobRecordLength, 0);
    std::copy(record.begin(), record.end(), file.begin() + static_cast<std::ptrdiff_t>(start));
}

bool GroupFile::Open() const { return EnsureFileExists(path_); }

std::int16_t GroupFile::Count() const {
    Open();
    const auto length = FileLength(path_);
    return length ? std::min<std::int16_t>(JobCountFromLength(*length), kMaxJobs) : 0;
}

RecordBytes GroupFile::ReadBytes(int k) const {
    RecordBytes out = BlankRecordBytes();
    if (k < 1) return out;
    Open();
    const auto bytes = ReadFileRange(path_, static_cast<std::uint64_t>(k - 1) * JobRecordLength, JobRecordLength);
    if (bytes) std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

JobRecord GroupFile::Read(int k) const { return DecodeJobRecord(ReadBytes(k)); }

StoredFile GroupFile::LoadStored() const {
    Open();
    return ReadStoredFile(path_, kMaxGroupBytes);
}

std::optional<Bytes> GroupFile::Load() const {
    StoredFile file = LoadStored();
    if (!file.usable()) return std::nullopt;
    return std::move(file.bytes);
}

bool GroupFile::Store(const Bytes& content, std::string* failure) const {
    return ReplaceFileAtomically(path_, content, failure);
}

bool GroupFile::WriteBytes(int k, const RecordBytes& bytes, std::string* failure) const {
    if (k < 1) return false;
    StoredFile file = LoadStored();
    if (!file.usable()) {
        if (failure != nullptr) *failure = UnreadableGroupText(path_, file);
        return false;
    }
    PutRecord(file.bytes, k, bytes);
    return Store(file.bytes, failure);
}

bool GroupFile::Write(int k, const JobRecord& record, std::string* failure) const {
    return WriteBytes(k, EncodeJobRecord(record), failure);
}

std::string UnreadableGroupText(const std::filesystem::path& path, const StoredFile& file) {
    return "无法读取 " + path.string() + "：" + ReadProblemText(file.problem);
}

bool GroupFile::Remove(std::string* failure) const {
    if (::unlink(path_.c_str()) == 0 || errno == ENOENT) return true;
    if (failure != nullptr) *failure = "无法删除 " + path_.string() + "：" + WriteErrorText(errno);
    LogLine("cannot remove " + path_.string() + ": " + std::strerror(errno));
    return false;
}

std::string TimetableProblemText(const std::filesystem::path& path, const StoredFile& file) {
    switch (file.problem) {
        case ReadProblem::None:
        case ReadProblem::Missing:
            return {};
        case ReadProblem::TooLarge:
            return "任务表 " + path.string() + " 过大（" + ReadProblemText(file.problem) + "）：只使用前 " +
                   std::to_string(kMaxJobs) + " 个任务";
        default:
            return "任务表 " + path.string() + " 无法读取（" + ReadProblemText(file.problem) + "）：今天不会打铃";
    }
}

}  // namespace lingchao
