#include "player/gst_media_probe.h"

#include <gst/pbutils/pbutils.h>

#include <filesystem>
#include <mutex>
#include <utility>

#include "music/media_path.h"
#include "player/media_file.h"
#include "player/music_list.h"

namespace lingchao {
namespace {
constexpr std::size_t kNamedEntries = 10;
// How often a decode in progress looks at the cancel token.
constexpr guint kCancelPollMs = 100;
const char* const kUndecodable = "无法解码";

// One discoverer for a whole pass, run asynchronously on a main context of its own that the calling thread turns:
// a discoverer is not started per file, and a cancel is seen within kCancelPollMs. The file in progress is then
// ended by an error posted from its source, which the discoverer takes as that file's end: gst_discoverer_stop()
// in the middle of a file can deadlock (it takes the pipeline down while holding the lock its pad-removed handler
// wants).
class Discovery final {
public:
    explicit Discovery(std::chrono::milliseconds timeout) : context_(g_main_context_new()) {
        GError* error = nullptr;
        discoverer_ = gst_discoverer_new(static_cast<GstClockTime>(timeout.count()) * GST_MSECOND, &error);
        g_clear_error(&error);
        if (discoverer_ != nullptr) {
            g_signal_connect(discoverer_, "discovered", G_CALLBACK(&Discovery::Discovered), this);
            g_signal_connect(discoverer_, "source-setup", G_CALLBACK(&Discovery::SourceSetup), this);
            // The discoverer keeps the thread's default context at its start: ours, turned only by Decode.
            g_main_context_push_thread_default(context_);
            gst_discoverer_start(discoverer_);
            g_main_context_pop_thread_default(context_);
        }
        // Wakes the loop in Decode now and then, so that it sees a cancel while nothing else happens.
        tick_ = g_timeout_source_new(kCancelPollMs);
        g_source_set_callback(
            tick_, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
        g_source_attach(tick_, context_);
    }
    ~Discovery() {
        if (discoverer_ != nullptr) {
            g_signal_handlers_disconnect_by_data(discoverer_, this);
            // A discoverer still busy with a file that would not end is left to itself: stopping it could hang.
            if (!abandoned_) {
                gst_discoverer_stop(discoverer_);
                g_object_unref(discoverer_);
            }
        }
        if (source_ != nullptr) gst_object_unref(source_);
        g_source_destroy(tick_);
        g_source_unref(tick_);
        g_main_context_unref(context_);
    }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // "" when the file holds an audio stream that decodes, else the reason; nullopt when cancelled first.
    std::optional<std::string> Decode(const std::string& path, const CancelToken& cancel) {
        if (discoverer_ == nullptr || abandoned_) return kUndecodable;
        GError* error = nullptr;
        gchar* uri = gst_filename_to_uri(path.c_str(), &error);
        g_clear_error(&error);
        if (uri == nullptr) return kUndecodable;
        done_ = false;
        {
            std::lock_guard lock(mutex_);  // the last file's source is no use for an interrupt
            if (source_ != nullptr) gst_object_unref(source_);
            source_ = nullptr;
            interrupted_ = false;
        }
        const bool queued = gst_discoverer_discover_uri_async(discoverer_, uri) != FALSE;
        g_free(uri);
        if (!queued) return kUndecodable;
        std::optional<std::chrono::steady_clock::time_point> giveUp;
        while (!done_) {
            if (cancel.Cancelled()) {
                if (!giveUp) giveUp = std::chrono::steady_clock::now() + kLetGo;
                Interrupt();
                if (std::chrono::steady_clock::now() > *giveUp) {
                    abandoned_ = true;
                    return std::nullopt;
                }
            }
            g_main_context_iteration(context_, TRUE);
        }
        if (cancel.Cancelled()) return std::nullopt;
        return result_;
    }

private:
    // How long a cancelled file may take to end before the discoverer is left behind.
    static constexpr std::chrono::milliseconds kLetGo{800};

    void Interrupt() {
        GstElement* source = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (interrupted_ || source_ == nullptr) return;  // no source yet: the next tick tries again
            interrupted_ = true;
            source = GST_ELEMENT(gst_object_ref(source_));
        }
        // Posted without our lock: the streaming thread that may be setting up a source must not wait on it.
        GError* why = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "check cancelled");
        gst_element_post_message(source, gst_message_new_error(GST_OBJECT(source), why, nullptr));
        g_error_free(why);
        gst_object_unref(source);
    }

    // On a streaming or the calling thread, once per file.
    static void SourceSetup(GstDiscoverer*, GstElement* source, gpointer self) {
        auto* d = static_cast<Discovery*>(self);
        std::lock_guard lock(d->mutex_);
        if (d->source_ != nullptr) gst_object_unref(d->source_);
        d->source_ = GST_ELEMENT(gst_object_ref(source));
    }

    // On the calling thread, from Decode's loop.
    static void Discovered(GstDiscoverer*, GstDiscovererInfo* info, GError*, gpointer self) {
        auto* d = static_cast<Discovery*>(self);
        d->result_ = kUndecodable;
        if (info != nullptr) {
            GList* audio = gst_discoverer_info_get_audio_streams(info);
            if (gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK && audio != nullptr) d->result_.clear();
            gst_discoverer_stream_info_list_free(audio);
        }
        d->done_ = true;
    }

    GMainContext* context_;
    GstDiscoverer* discoverer_ = nullptr;
    GSource* tick_ = nullptr;
    bool done_ = false;
    bool abandoned_ = false;
    std::string result_;
    std::mutex mutex_;  // source_ and interrupted_
    GstElement* source_ = nullptr;
    bool interrupted_ = false;
};

// Where a path of the pass leads: a list entry is anchored at its list's folder, as the player does.
std::pair<std::string, std::string> PlaceKey(const std::string& text, const std::filesystem::path& folder) {
    if (folder.empty() || std::filesystem::path(text).is_absolute()) return {{}, text};
    return {folder.string(), text};
}

}  // namespace

// What one pass shares: every path it looked up, once, and the discoverer, started at the first file to decode.
class GstMediaProbe::Pass final {
public:
    Pass(const CancelToken& cancel, std::chrono::milliseconds timeout) : cancel_(cancel), timeout_(timeout) {}

    const CancelToken& cancel() const { return cancel_; }

    const MediaFile& Locate(const std::string& text, const std::filesystem::path& folder = {}) {
        auto key = PlaceKey(text, folder);
        if (const auto it = located_.find(key); it != located_.end()) return it->second;
        return located_.emplace(std::move(key), CheckMediaFile(text, folder)).first->second;
    }

    Discovery& discovery() {
        if (!discovery_) discovery_.emplace(timeout_);
        return *discovery_;
    }

private:
    const CancelToken& cancel_;
    std::chrono::milliseconds timeout_;
    std::map<std::pair<std::string, std::string>, MediaFile> located_;
    std::optional<Discovery> discovery_;
};

GstMediaProbe::GstMediaProbe(std::chrono::milliseconds timeout) : timeout_(timeout) {}

std::vector<MusicProblem> GstMediaProbe::Check(const std::string& path) {
    const CancelToken never;
    Pass pass(never, timeout_);
    return *CheckPath(path, pass);
}

std::optional<MediaProbe::Findings> GstMediaProbe::CheckAll(const std::vector<std::string>& paths,
                                                            const CancelToken& cancel) {
    Pass pass(cancel, timeout_);
    Findings findings;
    for (const std::string& path : paths) {
        if (cancel.Cancelled()) return std::nullopt;
        if (findings.count(path) != 0) continue;
        auto problems = CheckPath(path, pass);
        if (!problems) return std::nullopt;
        findings.emplace(path, std::move(*problems));
    }
    if (cancel.Cancelled()) return std::nullopt;
    return findings;
}

std::optional<std::vector<MusicProblem>> GstMediaProbe::CheckPath(const std::string& path, Pass& pass) {
    std::vector<MusicProblem> problems;
    auto problem = [&problems](const std::string& file, const std::string& reason) {
        problems.push_back({0, "", file, reason});
    };
    auto note = [&problems](const std::string& file, const MediaFile& where) {
        if (where.foundByName) problems.push_back({0, "", file, "按文件名找到", where.path, where.sameNames});
    };
    const MediaFile where = pass.Locate(path);
    const bool list = IsMusicListPath(path) && !HasUriScheme(path);
    if (!list || (where.problem != MediaFileProblem::None && where.problem != MediaFileProblem::Empty)) {
        const auto why = ProbeFile(where, pass);
        if (!why) return std::nullopt;
        if (!why->empty()) {
            problem(path, *why);
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
        if (pass.cancel().Cancelled()) return std::nullopt;
        const MediaFile& item = pass.Locate(entry, folder);
        const auto why = ProbeFile(item, pass);
        if (!why) return std::nullopt;
        if (why->empty()) {
            ++playable;
            note(entry, item);
        } else if (++failed <= kNamedEntries) {
            problem(entry, *why);
        }
    }
    // A tooltip of thousands of lines helps nobody: the first few are named, the rest counted.
    if (failed > kNamedEntries) problem(path, "另有 " + std::to_string(failed - kNamedEntries) + " 条无法播放");
    if (playable == 0 && failed == 0) problem(path, "音乐列表为空");
    return problems;
}

std::optional<std::string> GstMediaProbe::ProbeFile(const MediaFile& file, Pass& pass) {
    if (file.problem != MediaFileProblem::None) return MediaProblemText(file.problem);
    const std::string& path = file.path;
    const std::uint64_t size = file.size;
    const std::int64_t time = file.modified;
    {
        // Also what makes a file that several entries lead to decode once in a pass.
        std::lock_guard lock(mutex_);
        const auto it = known_.find(path);
        if (it != known_.end() && it->second.size == size && it->second.time == time) return it->second.problem;
    }
    auto problem = pass.discovery().Decode(path, pass.cancel());
    if (!problem) return std::nullopt;
    std::lock_guard lock(mutex_);
    known_[path] = {size, time, *problem};
    return problem;
}

}  // namespace lingchao
