#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lingchao {

inline constexpr std::size_t JobRecordLength = 4174;

// Field widths and byte offsets of a job record in a group file (little-endian, no padding).
namespace job_layout {
inline constexpr std::size_t kNoOffset = 0;
inline constexpr std::size_t kNameOffset = 2, kNameWidth = 40;
inline constexpr std::size_t kTimeOffset = 42, kTimeWidth = 5;
inline constexpr std::size_t kDateOffset = 47, kDateWidth = 10;
inline constexpr std::size_t kStateOffset = 57, kStateWidth = 5;
inline constexpr std::size_t kMusicOffset = 62, kMusicWidth = 512, kMusicCount = 8;
inline constexpr std::size_t kFlagsOffset = 4158, kFlagCount = 8;
}  // namespace job_layout

using RecordBytes = std::array<std::uint8_t, JobRecordLength>;

// One job. Text fields hold UTF-8 padded with blanks to their width in characters, as read from a file;
// trailing blanks carry no meaning.
struct JobRecord {
    std::int16_t JobNo = 0;
    std::string JobName;
    std::string JobTime;
    std::string JobDate;
    std::string JobState;
    std::array<std::string, job_layout::kMusicCount> JobMusic;    // 0: the music; 1..7: Monday..Sunday
    std::array<std::int16_t, job_layout::kFlagCount> JobFlags{};  // 0: daily-song mode; 1..7: weekday has a song
};

// Texts all blanks, numbers 0: what a read at or past the end of a file gives.
JobRecord BlankJobRecord();

// The bytes of a blank record: blanks where texts are, zeros where numbers are.
const RecordBytes& BlankRecordBytes();

RecordBytes EncodeJobRecord(const JobRecord& record);

// Decodes up to JobRecordLength bytes; bytes missing at the end are taken from the blank record.
JobRecord DecodeJobRecord(std::span<const std::uint8_t> bytes);

// The music for today: the weekday's own song when daily-song mode is on and that weekday's flag is exactly 1,
// otherwise the main music; without the padding blanks. weekday: 1 = Monday ... 7 = Sunday.
std::string MusicForWeekday(const JobRecord& record, int weekday);

// The list row: state, date, time and name at their padded widths, three blanks apart (69 characters).
std::string JobRowText(const JobRecord& record);

// Little-endian 16-bit helpers shared by the stored formats.
std::int16_t ReadInt16(std::span<const std::uint8_t> bytes, std::size_t offset);
void WriteInt16(std::span<std::uint8_t> bytes, std::size_t offset, std::int16_t value);

}  // namespace lingchao
