#include "store/group_file.h"

#include <algorithm>
#include <limits>

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
    return length ? JobCountFromLength(*length) : 0;
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

std::optional<Bytes> GroupFile::Load() const {
    Open();
    return ReadFileBytes(path_);
}

bool GroupFile::Store(const Bytes& content) const { return ReplaceFileAtomically(path_, content); }

bool GroupFile::WriteBytes(int k, const RecordBytes& bytes) const {
    if (k < 1) return false;
    auto file = Load();
    if (!file) return false;
    PutRecord(*file, k, bytes);
    return Store(*file);
}

bool GroupFile::Write(int k, const JobRecord& record) const { return WriteBytes(k, EncodeJobRecord(record)); }

bool GroupFile::Remove() const {
    std::error_code ec;
    return std::filesystem::remove(path_, ec);
}

}  // namespace lingchao
