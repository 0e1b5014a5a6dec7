#include "store/job_record.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/text.h"
#include "store/gbk.h"

namespace lingchao {
namespace {

using namespace job_layout;

void PutText(RecordBytes& out, std::size_t offset, std::size_t width, const std::string& text) {
    const std::string gbk = EncodeFixedGbk(text, width);
    std::memcpy(out.data() + offset, gbk.data(), width);
}

std::string GetText(const RecordBytes& in, std::size_t offset, std::size_t width) {
    return DecodeFixedGbk(std::string_view(reinterpret_cast<const char*>(in.data()) + offset, width), width);
}

RecordBytes MakeBlankBytes() {
    RecordBytes bytes;
    bytes.fill(' ');
    WriteInt16(bytes, kNoOffset, 0);
    for (std::size_t i = 0; i < kFlagCount; ++i) WriteInt16(bytes, kFlagsOffset + 2 * i, 0);
    return bytes;
}

}  // namespace

std::int16_t ReadInt16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8)));
}

void WriteInt16(std::span<std::uint8_t> bytes, std::size_t offset, std::int16_t value) {
    const auto u = static_cast<std::uint16_t>(value);
    bytes[offset] = static_cast<std::uint8_t>(u & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(u >> 8);
}

const RecordBytes& BlankRecordBytes() {
    static const RecordBytes blank = MakeBlankBytes();
    return blank;
}

JobRecord BlankJobRecord() { return DecodeJobRecord(BlankRecordBytes()); }

RecordBytes EncodeJobRecord(const JobRecord& record) {
    RecordBytes out = BlankRecordBytes();
    WriteInt16(out, kNoOffset, record.JobNo);
    PutText(out, kNameOffset, kNameWidth, record.JobName);
    PutText(out, kTimeOffset, kTimeWidth, record.JobTime);
    PutText(out, kDateOffset, kDateWidth, record.JobDate);
    PutText(out, kStateOffset, kStateWidth, record.JobState);
    for (std::size_t i = 0; i < kMusicCount; ++i) {
        PutText(out, kMusicOffset + kMusicWidth * i, kMusicWidth, record.JobMusic[i]);
    }
    for (std::size_t i = 0; i < kFlagCount; ++i) WriteInt16(out, kFlagsOffset + 2 * i, record.JobFlags[i]);
    return out;
}

JobRecord DecodeJobRecord(std::span<const std::uint8_t> bytes) {
    RecordBytes full = BlankRecordBytes();
    std::copy_n(bytes.begin(), std::min(bytes.size(), JobRecordLength), full.begin());
    JobRecord r;
    r.JobNo = ReadInt16(full, kNoOffset);
    r.JobName = GetText(full, kNameOffset, kNameWidth);
    r.JobTime = GetText(full, kTimeOffset, kTimeWidth);
    r.JobDate = GetText(full, kDateOffset, kDateWidth);
    r.JobState = GetText(full, kStateOffset, kStateWidth);
    for (std::size_t i = 0; i < kMusicCount; ++i)
        r.JobMusic[i] = GetText(full, kMusicOffset + kMusicWidth * i, kMusicWidth);
    for (std::size_t i = 0; i < kFlagCount; ++i) r.JobFlags[i] = ReadInt16(full, kFlagsOffset + 2 * i);
    return r;
}

std::string MusicForWeekday(const JobRecord& record, int weekday) {
    std::size_t index = 0;
    if (record.JobFlags[0] != 0 && weekday >= 1 && weekday <= 7 &&
        record.JobFlags[static_cast<std::size_t>(weekday)] == 1) {
        index = static_cast<std::size_t>(weekday);
    }
    return std::string(TrimRight(record.JobMusic[index]));
}

std::string JobRowText(const JobRecord& record) {
    return PadRight(record.JobState, kStateWidth) + "   " + PadRight(record.JobDate, kDateWidth) + "   " +
           PadRight(record.JobTime, kTimeWidth) + "   " + PadRight(record.JobName, kNameWidth);
}

}  // namespace lingchao
