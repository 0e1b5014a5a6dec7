#include "base/output_volume.h"

#include <charconv>
#include <string_view>

#include "base/text.h"

namespace lingchao {
namespace {

// libpulse's own bounds (PA_CHANNELS_MAX, PA_VOLUME_MAX), repeated here because this floor does not see libpulse;
// the libpulse side checks that they agree. Anything beyond them was not written by us.
constexpr std::size_t kMaxChannels = 32;
constexpr std::uint32_t kMaxVolume = 0x7fffffffU;
// A sink name is a short identifier; a file much longer than the longest we write is not ours.
constexpr std::size_t kMaxSinkBytes = 512;
constexpr std::size_t kMaxTextBytes = 1024;

bool CleanSinkName(std::string_view name) {
    if (name.empty() || name.size() > kMaxSinkBytes || !IsValidUtf8(name)) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return false;
    }
    return true;
}

std::optional<std::vector<std::uint32_t>> ParseChannels(std::string_view text) {
    std::vector<std::uint32_t> channels;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        // Digits only (no sign, no blank); more than ten of them cannot be a volume.
        if (item.empty() || item.size() > 10) return std::nullopt;
        for (const char c : item) {
            if (c < '0' || c > '9') return std::nullopt;
        }
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (error != std::errc() || end != item.data() + item.size() || value > kMaxVolume) return std::nullopt;
        channels.push_back(static_cast<std::uint32_t>(value));
        if (channels.size() > kMaxChannels) return std::nullopt;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return channels;
}

// The value of line `line` if it reads "key=value"; nullopt for another key.
std::optional<std::string_view> Value(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != '=') return std::nullopt;
    return line.substr(key.size() + 1);
}

}  // namespace

std::string EncodeSavedVolume(const SavedVolume& saved) {
    std::string text = "sink=" + saved.sink + "\nchannels=";
    for (std::size_t i = 0; i < saved.channels.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(saved.channels[i]);
    }
    text += saved.muted ? "\nmuted=1\n" : "\nmuted=0\n";
    return text;
}

std::optional<SavedVolume> DecodeSavedVolume(const std::string& text) {
    if (text.size() > kMaxTextBytes) return std::nullopt;
    std::string_view rest = text;
    // A file cut short after its last value still says all it has to; an empty last line is its final newline.
    if (rest.ends_with('\n')) rest.remove_suffix(1);
    std::vector<std::string_view> lines;
    while (lines.size() <= 3) {
        const std::size_t newline = rest.find('\n');
        lines.push_back(rest.substr(0, newline));
        if (newline == std::string_view::npos) break;
        rest.remove_prefix(newline + 1);
    }
    // Exactly the three lines, in the order they are written: anything else was not written by us.
    if (lines.size() != 3) return std::nullopt;
    const auto sink = Value(lines[0], "sink");
    const auto channels = Value(lines[1], "channels");
    const auto muted = Value(lines[2], "muted");
    if (!sink || !channels || !muted || !CleanSinkName(*sink)) return std::nullopt;
    if (*muted != "0" && *muted != "1") return std::nullopt;
    auto volumes = ParseChannels(*channels);
    if (!volumes) return std::nullopt;
    SavedVolume saved;
    saved.sink = std::string(*sink);
    saved.channels = std::move(*volumes);
    saved.muted = *muted == "1";
    return saved;
}

}  // namespace lingchao
