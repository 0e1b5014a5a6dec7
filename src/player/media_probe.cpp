#include "player/media_probe.h"

#include <gst/pbutils/pbutils.h>

#include <filesystem>

#include "player/media_file.h"
#include "player/media_path.h"
#include "player/music_list.h"

namespace lingchao {
namespace {
constexpr std::size_t kNamedEntries = 10;
}  // namespace

GstMediaProbe::GstMediaProbe(std::chrono::milliseconds timeout) : timeout_(timeout) {}

std::vector<MusicProblem> GstMediaProbe::Check(const std::string& path) {
    std::vector<MusicProblem> problems;
    auto problem = [&problems](const std::string& file, const std::string& reason) {
        problems.push_back({0, "", file, reason});
    };
    auto note = [&problems](const std::string& file, const MediaFile& where) {
        if (where.foundByName) problems.push_back({0, "", file, "按文件名找到", where.path, where.sameNames});
    };
    const MediaFile where = CheckMediaFile(path);
    const bool list = IsMusicListPath(path) && !HasUriScheme(path);
    if (!list || (where.problem != MediaFileProblem::None && where.problem != MediaFileProblem::Empty)) {
        if (const std::string why = ProbeFile(where); !why.empty()) {
            problem(path, why);
        } else {
            note(path, where);
        }
        return problems;
    }
    note(path, where);
    ReadProblem readProblem = ReadProblem::None;
    const auto entries = ReadMusicList(where.path, &readProblem);
    if (!entries) {
        problem(path, "无法读取音乐列表");
        return problems;
    }
    if (readProblem == ReadProblem::TooLarge) {
        problem(path, "音乐列表过长：只播放前 " + std::to_string(kMaxMusicListEntries) + " 条");
    }
    const auto folder = std::filesystem::path(where.path).parent_path();
    int playable = 0;
    std::size_t failed = 0;
    for (const std::string& entry : PlayableEntries(*entries)) {
        const MediaFile item = CheckMediaFile(entry, folder);
        const std::string why = ProbeFile(item);
        if (why.empty()) {
            ++playable;
            note(entry, item);
        } else if (++failed <= kNamedEntries) {
            problem(entry, why);
        }
    }
    // A tooltip of thousands of lines helps nobody: the first few are named, the rest counted.
    if (failed > kNamedEntries) problem(path, "另有 " + std::to_string(failed - kNamedEntries) + " 条无法播放");
    if (playable == 0 && failed == 0) problem(path, "音乐列表为空");
    return problems;
}

std::string GstMediaProbe::ProbeFile(const MediaFile& file) {
    if (file.problem != MediaFileProblem::None) return MediaProblemText(file.problem);
    const std::string& path = file.path;
    const std::uint64_t size = file.size;
    const std::int64_t time = file.modified;
    {
        std::lock_guard lock(mutex_);
        const auto it = known_.find(path);
        if (it != known_.end() && it->second.size == size && it->second.time == time) return it->second.problem;
    }
    std::string problem = "无法解码";
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    GstDiscoverer* discoverer =
        uri != nullptr ? gst_discoverer_new(static_cast<GstClockTime>(timeout_.count()) * GST_MSECOND, &error)
                       : nullptr;
    if (discoverer != nullptr) {
        GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
        if (info != nullptr) {
            GList* audio = gst_discoverer_info_get_audio_streams(info);
            if (gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK && audio != nullptr) problem.clear();
            gst_discoverer_stream_info_list_free(audio);
            g_object_unref(info);
        }
        g_object_unref(discoverer);
    }
    g_clear_error(&error);
    g_free(uri);
    std::lock_guard lock(mutex_);
    known_[path] = {size, time, problem};
    return problem;
}

}  // namespace lingchao
