#include "player/media_probe.h"

#include <gst/pbutils/pbutils.h>

#include <filesystem>

#include "player/media_path.h"
#include "player/music_list.h"

namespace lingchao {

GstMediaProbe::GstMediaProbe(std::chrono::milliseconds timeout) : timeout_(timeout) {}

std::vector<MusicProblem> GstMediaProbe::Check(const std::string& path) {
    std::vector<MusicProblem> problems;
    auto problem = [&problems](const std::string& file, const std::string& reason) {
        problems.push_back({0, "", file, reason});
    };
    const ResolvedMediaPath where = ResolveMediaPath(path);
    if (where.path.empty()) {
        problem(path, "文件不存在");
        return problems;
    }
    if (!IsMusicListPath(where.path)) {
        if (const std::string why = ProbeFile(where.path); !why.empty()) problem(path, why);
        return problems;
    }
    const auto entries = ReadMusicList(where.path);
    if (!entries) {
        problem(path, "无法读取音乐列表");
        return problems;
    }
    const auto folder = std::filesystem::path(where.path).parent_path();
    int playable = 0;
    for (const std::string& entry : PlayableEntries(*entries)) {
        const ResolvedMediaPath item = ResolveMediaPath(entry, folder);
        const std::string why = item.path.empty() ? "文件不存在" : ProbeFile(item.path);
        if (why.empty()) {
            ++playable;
        } else {
            problem(entry, why);
        }
    }
    if (playable == 0 && problems.empty()) problem(path, "音乐列表为空");
    return problems;
}

std::string GstMediaProbe::ProbeFile(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return "文件不存在";
    if (size == 0) return "文件是空的";
    const auto time = std::filesystem::last_write_time(path, ec);
    {
        std::lock_guard lock(mutex_);
        const auto it = known_.find(path);
        if (it != known_.end() && it->second.size == size && it->second.time == time) return it->second.problem;
    }
    std::string problem = "无法解码";
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    GstDiscoverer* discoverer =
        uri != nullptr ? gst_discoverer_new(static_cast<GstClockTime>(timeout_.count()) * GST_MSECOND, &error) : nullptr;
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
