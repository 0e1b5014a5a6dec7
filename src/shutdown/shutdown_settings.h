#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "store/timeparse.h"

namespace lingchao {

inline constexpr std::size_t ShutdownSettingsLength = 63;
inline constexpr const char* kShutdownFile = "exit.dll";

// Slot 0: the daily time; 1..7: Monday..Sunday; 8: per-weekday mode (its time is carried, never used).
struct ShutdownSettings {
    std::array<std::int16_t, 9> check{};
    std::array<std::string, 9> time;  // 5 characters each, blank-padded, as read from the file
    bool operator==(const ShutdownSettings&) const = default;
};

using ShutdownBytes = std::array<std::uint8_t, ShutdownSettingsLength>;

ShutdownBytes EncodeShutdownSettings(const ShutdownSettings& settings);
// Decodes up to 63 bytes; missing bytes count as zero switches and blank times.
ShutdownSettings DecodeShutdownSettings(std::span<const std::uint8_t> bytes);

// Record 1 of "exit.dll" in the folder; a missing file is created empty and gives every switch off, and so does
// one that cannot be read (a folder, a FIFO, no permission), with the reason in `problem` ("" otherwise).
ShutdownSettings LoadShutdownSettings(const std::filesystem::path& appFolder, std::string* problem = nullptr);
// At most this much of "exit.dll" is kept when record 1 is written.
inline constexpr std::uint64_t kShutdownFileKeptBytes = 64 * 1024;
// Writes record 1 (the file's first 63 bytes, anything after them kept up to kShutdownFileKeptBytes in all);
// false on failure, the old file kept.
bool SaveShutdownSettings(const std::filesystem::path& appFolder, const ShutdownSettings& settings);

// Today's shutdown time by the settings, or nothing. weekday: 1 = Monday ... 7 = Sunday.
std::optional<TimeOfDay> TodaysShutdownTime(const ShutdownSettings& settings, int weekday);

}  // namespace lingchao
