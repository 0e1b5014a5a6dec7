#include "shutdown/shutdown_settings.h"

#include <algorithm>
#include <cstring>

#include "base/file_util.h"
#include "store/gbk.h"
#include "store/job_record.h"

namespace lingchao {
namespace {
constexpr std::size_t kTimeOffset = 18;
constexpr std::size_t kTimeWidth = 5;
}  // namespace

ShutdownBytes EncodeShutdownSettings(const ShutdownSettings& settings) {
    ShutdownBytes out{};
    for (std::size_t i = 0; i < 9; ++i) {
        WriteInt16(out, 2 * i, settings.check[i]);
        const std::string gbk = EncodeFixedGbk(settings.time[i], kTimeWidth);
        std::memcpy(out.data() + kTimeOffset + kTimeWidth * i, gbk.data(), kTimeWidth);
    }
    return out;
}

ShutdownSettings DecodeShutdownSettings(std::span<const std::uint8_t> bytes) {
    ShutdownBytes full{};
    std::fill(full.begin() + kTimeOffset, full.end(), ' ');
    std::copy_n(bytes.begin(), std::min(bytes.size(), full.size()), full.begin());
    ShutdownSettings s;
    for (std::size_t i = 0; i < 9; ++i) {
        s.check[i] = ReadInt16(full, 2 * i);
        s.time[i] = DecodeFixedGbk(
            std::string_view(reinterpret_cast<const char*>(full.data()) + kTimeOffset + kTimeWidth * i, kTimeWidth),
            kTimeWidth);
    }
    return s;
}

ShutdownSettings LoadShutdownSettings(const std::filesystem::path& appFolder, std::string* problem) {
    const auto path = appFolder / kShutdownFile;
    EnsureFileExists(path);
    // Only record 1 is ever used: nothing past it is read, however large the file.
    const StoredFile file = ReadStoredFile(path, ShutdownSettingsLength);
    if (problem != nullptr) {
        problem->clear();
        if (!file.usable() && file.problem != ReadProblem::Missing) {
            *problem =
                "定时关机设置 " + path.string() + " 无法读取（" + ReadProblemText(file.problem) + "）：不会定时关机";
        }
    }
    return DecodeShutdownSettings(file.usable() ? std::span<const std::uint8_t>(file.bytes)
                                                : std::span<const std::uint8_t>());
}

bool SaveShutdownSettings(const std::filesystem::path& appFolder, const ShutdownSettings& settings) {
    const auto path = appFolder / kShutdownFile;
    // Bytes after the record are kept as they are, up to a bound: a huge file is not read whole for them.
    StoredFile file = ReadStoredFile(path, kShutdownFileKeptBytes);
    Bytes content = file.usable() ? std::move(file.bytes) : Bytes{};
    if (content.size() < ShutdownSettingsLength) content.resize(ShutdownSettingsLength, 0);
    const ShutdownBytes record = EncodeShutdownSettings(settings);
    std::copy(record.begin(), record.end(), content.begin());
    return ReplaceFileAtomically(path, content);
}

std::optional<TimeOfDay> TodaysShutdownTime(const ShutdownSettings& settings, int weekday) {
    const std::string* chosen = nullptr;
    if (settings.check[8] != 0 && weekday >= 1 && weekday <= 7 &&
        settings.check[static_cast<std::size_t>(weekday)] == 1) {
        chosen = &settings.time[static_cast<std::size_t>(weekday)];
    } else if (settings.check[0] == 1) {
        chosen = &settings.time[0];
    }
    if (chosen == nullptr) return std::nullopt;
    return ParseTimeOfDay(*chosen);
}

}  // namespace lingchao
