// GLib headers before Qt's: Qt's "signals" macro breaks gio's headers.
#include <gst/gst.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "base/log.h"
#include "music/media_path.h"
#include "player/failure_tally.h"
#include "player/gst_player.h"
#include "player/media_file.h"
#include "player/music_list.h"

namespace lingchao {

namespace {

// playbin's "flags": audio and software volume only; a video stream (a .wmv bell) never opens a window.
constexpr guint kPlayFlagAudio = 0x2;
constexpr guint kPlayFlagSoftVolume = 0x10;
// fluiddec's default synth-gain (0.2) gives a peak of about -30 dBFS: far too quiet for a bell.
constexpr gdouble kMidiGain = 0.8;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory != nullptr && std::string(GST_OBJECT_NAME(factory)) == "fluiddec") {
        g_object_set(element, "synth-gain", kMidiGain, nullptr);
    }
}

bool SinkCanOpen(GstElement* sink) {
    const bool ok = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(sink, GST_STATE_NULL);
    return ok;
}

using Steady = std::chrono::steady_clock;

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch()).count();
}

Steady::time_point FromNs(std::int64_t ns) { return Steady::time_point(std::chrono::nanoseconds(ns)); }

// When a pipeline's first buffer reached its sink and when the pipeline went PLAYING, written from GStreamer's
// threads as it happens (0: not yet). The sound starts at the later of the two.
struct Timing {
    std::atomic<std::int64_t> firstBufferNs{0};
    std::atomic<std::int64_t> playingNs{0};
    std::function<void()>* onFirstBuffer = nullptr;
    std::atomic<bool> held{false};
    std::int64_t startNs = 0;  // when its output was told to play the first sample (0: at once)
};

// The peak is measured over this much of a medium, from its start.
constexpr double kProofSeconds = 10.0;
constexpr int kProofLimitMs = 12000;

// Outputs that reach a loudspeaker; anything else (fakesink, a file) takes the sound and nobody hears it.
bool IsRealOutput(const std::string& factory) {
    static const char* const kReal[] = {"pulsesink", "alsasink", "pipewiresink", "jackaudiosink",
                                        "osssink",   "oss4sink", "openalsink",   "directsoundsink"};
    return std::find(std::begin(kReal), std::end(kReal), factory) != std::end(kReal);
}

// The element that really takes the sound, inside the bins around it (a new reference, or nullptr).
GstElement* InnermostSink(GstElement* element) {
    gst_object_ref(element);
    while (GST_IS_BIN(element)) {
        GstIterator* it = gst_bin_iterate_sinks(GST_BIN(element));
        GValue item = G_VALUE_INIT;
        GstElement* inner = nullptr;
        if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
            inner = GST_ELEMENT(g_value_get_object(&item));
            gst_object_ref(inner);
        }
        g_value_unset(&item);
        gst_iterator_free(it);
        gst_object_unref(element);
        if (inner == nullptr) return nullptr;
        element = inner;
    }
    return element;
}

// The sound server's name of the sink that plays (pulsesink), else the element's kind.
void DescribeOutput(GstElement* sink, std::string& output, bool& real) {
    GstElement* inner = InnermostSink(sink);
    if (inner == nullptr) return;
    GstElementFactory* factory = gst_element_get_factory(inner);
    const std::string kind = factory != nullptr ? GST_OBJECT_NAME(factory) : "unknown";
    real = IsRealOutput(kind);
    output = kind;
    if (kind == "pulsesink") {
        gchar* device = nullptr;
        g_object_get(inner, "current-device", &device, nullptr);
        if (device != nullptr && *device != '\0') output = device;
        g_free(device);
    }
    gst_object_unref(inner);
}

// The loudest channel of a `level` message, in dB of full scale.
double LevelPeak(const GstStructure* structure) {
    double peak = -std::numeric_limits<double>::infinity();
    const GValue* value = gst_structure_get_value(structure, "peak");
    if (value == nullptr || !G_VALUE_HOLDS_BOXED(value)) return peak;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const auto* channels = static_cast<const GValueArray*>(g_value_get_boxed(value));
    for (guint i = 0; channels != nullptr && i < channels->n_values; ++i) {
        const double db = g_value_get_double(&channels->values[i]);
        // level gives about -350 dB for all-zero samples: that is digital silence, not a level.
        if (!std::isnan(db) && db > -200) peak = std::max(peak, db);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    return peak;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

struct GstPlayer::Impl {
    // Ties a bus watch to the pipeline it was made for.
    struct WatchContext {
        Impl* impl;
        unsigned generation;
    };

    GstPlayerOptions options;
    std::string fileName;
    std::function<void()> endOfStream;
    State state = State::Empty;

    bool isList = false;
    std::filesystem::path listFolder;
    std::vector<std::string> items;  // a list's entries as written (blank and '#' lines already left out)
    std::size_t current = 0;
    FailureTally failures;  // of the medium loaded

    GstElement* pipeline = nullptr;
    guint watch = 0;
    unsigned generation = 0;  // bumped at each teardown: messages of an older pipeline are dropped
    unsigned itemNumber = 0;
    std::string sinkChoice;
    std::string fallbackFactory;  // what autoaudiosink chose when pulsesink failed
    bool glibDispatcher = true;
    QTimer* poller = nullptr;
    QObject owner;  // owns what is posted to the event loop: nothing runs after the player is gone

    std::shared_ptr<Timing> timing;     // the playing pipeline's
    GstElement* audioOutput = nullptr;  // the playing pipeline's audio output

    // The next bell's medium, opened and paused (prerolled) in a pipeline of its own, not yet watched.
    struct Prepared {
        std::string fileName;   // as it will be set
        std::size_t index = 0;  // the entry of a list; 0 for a file
        std::string note;       // the log's line when its path was mended or found by name
        GstElement* pipeline = nullptr;
        GstElement* audioOutput = nullptr;
        std::shared_ptr<Timing> timing;
        GstPad* heldPad = nullptr;  // the output's input, where everything waits until the bell starts
        gulong hold = 0;
        bool started = false;  // let through ahead, timed for its instant
    };
    std::optional<Prepared> prepared;
    bool adopting = false;  // only a medium being set may take over what was prepared

    // The proof of sound of the medium started last.
    std::function<void(const SoundProof&)> proofHandler;
    bool proving = false;
    SoundProof proof;
    std::string lastFailure;
    QTimer proofDeadline;
    QTimer proofLimit;

    Impl() {
        proofDeadline.setSingleShot(true);
        proofDeadline.setInterval(static_cast<int>(kSoundDeadline.count()));
        QObject::connect(&proofDeadline, &QTimer::timeout, &owner, [this] {
            NoteSoundStart();
            if (!proof.soundStart) FinishProof();  // not heard in time: say so now, not after the limit
        });
        proofLimit.setSingleShot(true);
        proofLimit.setInterval(kProofLimitMs);
        QObject::connect(&proofLimit, &QTimer::timeout, &owner, [this] { FinishProof(); });
    }

    ~Impl() {
        proofHandler = nullptr;  // whoever listens may be gone already
        Teardown();
        DropPrepared();
    }

    void DropPrepared() {
        if (!prepared) return;
        // Straight to NULL: held in front of its output, nothing of it reached the sound server, and the flush
        // lets its streaming thread go.
        gst_element_set_state(prepared->pipeline, GST_STATE_NULL);
        if (prepared->heldPad != nullptr) gst_object_unref(prepared->heldPad);
        gst_object_unref(prepared->pipeline);
        if (prepared->audioOutput != nullptr) gst_object_unref(prepared->audioOutput);
        prepared.reset();
    }

    // Opens the first playable item of `path` paused. Nothing is logged or reported: what fails here is told
    // when the bell sets the medium.
    void Prepare(const std::string& path) {
        if (prepared && prepared->fileName == path) return;
        DropPrepared();
        if (path.empty() || (!options.nullMediaPath.empty() && path == options.nullMediaPath)) return;
        std::vector<std::string> entries{path};
        bool list = false;
        std::filesystem::path folder;
        if (IsMusicListPath(path) && !HasUriScheme(path)) {
            const MediaFile where = CheckMediaFile(path);
            if (where.problem != MediaFileProblem::None) return;
            ReadProblem problem = ReadProblem::None;
            const std::optional<std::vector<std::string>> read = ReadMusicList(where.path, &problem);
            if (!read) return;
            entries = PlayableEntries(*read);
            list = true;
            folder = std::filesystem::path(where.path).parent_path();
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::string note;
            const std::optional<MediaFile> where = NextGood(entries, i, list, folder, false, &note);
            if (!where) return;
            Prepared next;
            std::string error;
            if (!Build(where->path, next.pipeline, next.audioOutput, next.timing, &error)) continue;
            next.fileName = path;
            next.index = i;
            next.note = std::move(note);
            if (next.audioOutput != nullptr) Hold(next);
            prepared = std::move(next);
            if (gst_element_set_state(prepared->pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
                DropPrepared();
                continue;
            }
            return;
        }
    }

    // Everything the medium sends waits in front of its output, stream start and format included: the output
    // opens no stream on the sound server until the bell starts. A stream opened ahead (a pipeline prerolled on
    // PulseAudio) sounds as many seconds late as it was held, and one scheduled ahead on the pipeline's clock
    // sounded about as late as it was scheduled ahead (GStreamer 1.22's pulsesink).
    static void Hold(Prepared& next) {
        next.heldPad = gst_element_get_static_pad(next.audioOutput, "sink");
        if (next.heldPad == nullptr) return;
        next.hold = gst_pad_add_probe(
            next.heldPad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM,
            [](GstPad*, GstPadProbeInfo*, gpointer data) -> GstPadProbeReturn {
                (*static_cast<std::shared_ptr<Timing>*>(data))->held.store(true);
                return GST_PAD_PROBE_OK;
            },
            new std::shared_ptr<Timing>(next.timing),
            [](gpointer data) { delete static_cast<std::shared_ptr<Timing>*>(data); });
    }

    // The prepared pipeline becomes the playing one: it only has to start.
    bool StartPrepared() {
        Prepared next = std::move(*prepared);
        prepared.reset();
        pipeline = next.pipeline;
        audioOutput = next.audioOutput;
        timing = std::move(next.timing);
        current = next.index;
        AttachBus();  // what it posted while paused (its first levels, an error) is handled now
        if (next.started) {
            gst_object_unref(next.heldPad);
            state = State::Playing;
            if (!next.note.empty()) LogLine(next.note);
            return true;
        }
        // A pipeline held prerolled on the sound server sounds as many seconds late as it was held (PulseAudio:
        // held 2 s, heard 2 s late), though its first buffer reached the output long before. Back to READY gives
        // the server's stream up, and PLAYING opens a fresh one at once, with the file checked and the pipeline
        // built. Its first buffer is watched again: that one is the sound.
        gst_element_set_state(pipeline, GST_STATE_READY);
        timing->firstBufferNs.store(0);
        timing->onFirstBuffer = nullptr;  // told once per medium, at its preroll
        if (audioOutput != nullptr) WatchFirstBuffer(audioOutput, timing);
        if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            Failed(items[current], DrainError());
            Teardown();
            return false;
        }
        state = State::Playing;
        if (!next.note.empty()) LogLine(next.note);
        return true;
    }

    // On the system clock (monotonic, as steady_clock), with a base time set now and the output's offset the
    // rest of the way, the output plays silence until `at` and then the first sample. The offset, not a base time
    // ahead: pulsesink dropped as much of the beginning as the base time lay ahead.
    void StartPreparedAt(const std::string& path, Steady::time_point at) {
        if (!prepared || prepared->fileName != path || prepared->heldPad == nullptr || prepared->started) return;
        GstElement* inner = InnermostSink(prepared->audioOutput);
        if (inner == nullptr) return;
        GstClock* clock = gst_system_clock_obtain();
        gst_pipeline_use_clock(GST_PIPELINE(prepared->pipeline), clock);
        const GstClockTime base = gst_clock_get_time(clock);
        gst_object_unref(clock);
        const std::int64_t atNs = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        const std::int64_t ahead = std::max<std::int64_t>(0, atNs - SteadyNs());
        gst_element_set_start_time(prepared->pipeline, GST_CLOCK_TIME_NONE);
        gst_element_set_base_time(prepared->pipeline, base);
        g_object_set(inner, "ts-offset", static_cast<gint64>(ahead), nullptr);
        gst_object_unref(inner);
        prepared->timing->startNs = SteadyNs() + ahead;
        if (gst_element_set_state(prepared->pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            DropPrepared();  // told when the bell sets it, opened anew
            return;
        }
        gst_pad_remove_probe(prepared->heldPad, prepared->hold);
        prepared->started = true;
    }

    void Teardown() {
        ++generation;
        if (pipeline == nullptr) return;
        NoteSoundStart();
        if (proving && proof.output.empty() && audioOutput != nullptr) {
            DescribeOutput(audioOutput, proof.output, proof.realOutput);
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
        if (watch != 0) {
            // By the bus, not by the source's id: ids are looked up in GLib's global context, and the watch is on
            // the context of the thread the player lives on.
            GstBus* bus = gst_element_get_bus(pipeline);
            gst_bus_remove_watch(bus);
            gst_object_unref(bus);
        }
        watch = 0;
        gst_object_unref(pipeline);
        pipeline = nullptr;
        if (audioOutput != nullptr) gst_object_unref(audioOutput);
        audioOutput = nullptr;
        timing.reset();
    }

    void Failed(const std::string& path, const std::string& reason) {
        lastFailure = reason;
        if (!failures.Count()) return;  // one line per bell; CloseFailures counts the rest
        LogLine("cannot play " + Quoted(path) + ": " + reason);
        if (options.onFailure) options.onFailure(path, reason);
    }

    // The medium is over: the failures not told one by one, in one line.
    void CloseFailures() {
        const std::string summary = failures.Close();
        if (summary.empty()) return;
        LogLine("cannot play " + Quoted(fileName) + ": " + summary);
        if (options.onFailure) options.onFailure(fileName, summary);
    }

    void BeginProof() {
        FinishProof();
        proving = true;
        proof = SoundProof{};
        proof.fileName = fileName;
        proof.requested = Steady::now();
        lastFailure.clear();
        proofDeadline.start();
        proofLimit.start();
    }

    // Reads what the playing pipeline's threads have noted.
    void NoteSoundStart() {
        if (!proving || proof.soundStart || !timing) return;
        const std::int64_t first = timing->firstBufferNs.load();
        const std::int64_t playing = timing->playingNs.load();
        if (first == 0 || playing == 0) return;
        proof.soundStart = FromNs(std::max({first, playing, timing->startNs}));
        if (audioOutput != nullptr) DescribeOutput(audioOutput, proof.output, proof.realOutput);
    }

    void FinishProof() {
        if (!proving) return;
        NoteSoundStart();
        proving = false;
        proofDeadline.stop();
        proofLimit.stop();
        if (!proof.soundStart) {
            if (proof.output.empty() && audioOutput != nullptr)
                DescribeOutput(audioOutput, proof.output, proof.realOutput);
            if (proof.problem.empty()) proof.problem = lastFailure;
        }
        if (!proofHandler) return;
        // Never from within a call into the player: the listener may call it back.
        QTimer::singleShot(0, &owner, [this, done = proof] {
            if (proofHandler) proofHandler(done);
        });
    }

    void Measure(GstMessage* message) {
        const GstStructure* structure = gst_message_get_structure(message);
        if (!proving || structure == nullptr || !gst_structure_has_name(structure, "level")) return;
        proof.peakDbfs = std::max(proof.peakDbfs, LevelPeak(structure));
        GstClockTime duration = GST_CLOCK_TIME_NONE;
        if (gst_structure_get_clock_time(structure, "duration", &duration) && GST_CLOCK_TIME_IS_VALID(duration)) {
            proof.measuredSeconds += static_cast<double>(duration) / GST_SECOND;
        }
        if (proof.measuredSeconds >= kProofSeconds) FinishProof();
    }

    void Load() {
        items.clear();
        current = 0;
        isList = false;
        if (!options.nullMediaPath.empty() && fileName == options.nullMediaPath) {
            state = State::Empty;
            return;
        }
        if (IsMusicListPath(fileName) && !HasUriScheme(fileName)) {
            LoadList();
            return;
        }
        if (adopting && prepared && prepared->fileName == fileName) {
            items.push_back(fileName);  // opened seconds ago: no second look at the file on the bell's tick
            state = State::Idle;
            return;
        }
        // An empty file (the null media file, whatever its path) holds nothing: the medium is simply released.
        if (CheckMediaFile(fileName).problem == MediaFileProblem::Empty) {
            if (std::filesystem::path(fileName).filename() != "null.dll") {
                Failed(fileName, "empty file");
            }
            state = State::Empty;
            return;
        }
        items.push_back(fileName);
        state = State::Idle;
    }

    void LoadList() {
        const MediaFile where = CheckMediaFile(fileName);
        if (where.problem != MediaFileProblem::None && where.problem != MediaFileProblem::Empty) {
            Failed(fileName, "music list: " + MediaProblemLogText(where.problem));
            state = State::Error;
            return;
        }
        ReadProblem problem = ReadProblem::None;
        const std::optional<std::vector<std::string>> entries = ReadMusicList(where.path, &problem);
        if (problem == ReadProblem::TooLarge) {
            LogLine("music list " + Quoted(where.path) + " is longer than " + std::to_string(kMaxMusicListEntries) +
                    " entries or " + std::to_string(kMaxMusicListBytes) + " bytes: only its beginning is played");
        }
        if (!entries) {
            Failed(where.path, "cannot read the music list");
            state = State::Error;
            return;
        }
        items = PlayableEntries(*entries);
        if (items.empty()) {
            Failed(where.path, "the music list has no entries");
            state = State::Error;
            return;
        }
        isList = true;
        listFolder = std::filesystem::path(where.path).parent_path();
        state = State::Idle;
    }

    // Starts the first playable item from `from` on. Returns with a pipeline playing, or with none left.
    void StartFrom(std::size_t from) {
        Teardown();
        for (std::size_t i = from; i < items.size(); ++i) {
            if (StartItem(i)) return;
        }
        Teardown();
        CloseFailures();
        FinishProof();
        if (isList) {
            // Reached the end of the list through failing entries: it has ended all the same.
            state = State::Idle;
            ReportEndLater();
        } else {
            state = State::Error;
        }
    }

    // Starts items[index], or the first playable item after it (`index` moves on to it). False when it could
    // not start; `index` is then the item that failed (or items.size() when none was playable).
    bool StartItem(std::size_t& index) {
        // Held in front of its output and not started ahead (no hand-off came before the minute): opened anew, as a
        // bell that was never prepared. Taken from READY to PLAYING, such a pipeline once stayed silent under load.
        if (adopting && prepared && prepared->fileName == fileName && !prepared->started &&
            prepared->heldPad != nullptr)
            DropPrepared();
        if (adopting && prepared && prepared->fileName == fileName && prepared->index == index) return StartPrepared();
        // What was prepared is not checked again: the items before it are, to say why they were passed over.
        const bool ahead = adopting && prepared && prepared->fileName == fileName && prepared->index > index;
        std::string note;
        const std::optional<MediaFile> where =
            NextGood(items, index, isList, listFolder, true, &note, ahead ? prepared->index : items.size());
        if (!where) return ahead && index == prepared->index && StartPrepared();
        if (!note.empty()) LogLine(note);
        std::string error;
        if (!Build(where->path, pipeline, audioOutput, timing, &error)) {
            Failed(where->path, error);
            return false;
        }
        AttachBus();
        current = index;
        if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            Failed(where->path, DrainError());
            Teardown();
            return false;
        }
        state = State::Playing;
        return true;
    }

    // The first playable of texts[index], texts[index + 1], … (before `to`), with `index` moved on to it; nullopt
    // with `index` = `to` when none is. Checked away from this thread, and only a regular file goes on:
    // GStreamer's own open would wait for good on a FIFO or a share that stopped answering, and the tick with
    // it. `report`: the failures are told.
    std::optional<MediaFile> NextGood(const std::vector<std::string>& texts, std::size_t& index, bool inList,
                                      const std::filesystem::path& folder, bool report, std::string* note,
                                      std::size_t to = SIZE_MAX) {
        to = std::min(to, texts.size());
        while (index < to) {
            const std::vector<MediaFile> checked =
                CheckMediaFilesUntilGood(texts, index, to, inList ? folder : std::filesystem::path());
            for (const MediaFile& where : checked) {
                std::optional<MediaFile> good = Judge(texts[index], where, inList, report, note);
                if (good) return good;
                ++index;
            }
            if (checked.empty()) break;
        }
        index = to;
        return std::nullopt;
    }

    std::optional<MediaFile> Judge(const std::string& text, const MediaFile& where, bool inList, bool report,
                                   std::string* note) {
        if (inList && IsMusicListPath(text)) {
            if (report) Failed(text, "a music list inside a music list is not played");
            return std::nullopt;
        }
        if (where.problem == MediaFileProblem::Empty) {
            if (report && std::filesystem::path(where.path).filename() != "null.dll") Failed(where.path, "empty file");
            return std::nullopt;
        }
        if (where.problem != MediaFileProblem::None) {
            if (report) Failed(where.path.empty() ? text : where.path, MediaProblemLogText(where.problem));
            return std::nullopt;
        }
        if (where.mended || where.foundByName) {
            *note =
                "playing " + Quoted(text) + " as " + Quoted(where.path) + (where.foundByName ? " (found by name)" : "");
        }
        return where;
    }

    // A playbin for `path` with the output, the level meter and the watches of its timing; false with the reason.
    bool Build(const std::string& path, GstElement*& pipe, GstElement*& output, std::shared_ptr<Timing>& times,
               std::string* error) {
        GError* uriError = nullptr;
        gchar* uri = gst_filename_to_uri(path.c_str(), &uriError);
        if (uri == nullptr) {
            *error = uriError != nullptr ? uriError->message : "bad path";
            g_clear_error(&uriError);
            return false;
        }
        pipe = gst_element_factory_make("playbin", nullptr);
        if (pipe == nullptr) {
            g_free(uri);
            *error = "GStreamer's playbin is missing";
            return false;
        }
        gst_object_ref_sink(pipe);
        g_object_set(pipe, "uri", uri, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
        g_free(uri);
        times = std::make_shared<Timing>();
        times->onFirstBuffer = options.onFirstBuffer ? &options.onFirstBuffer : nullptr;
        if (GstElement* made = MakeSink()) {
            gst_object_ref_sink(made);
            g_object_set(pipe, "audio-sink", made, nullptr);
            WatchFirstBuffer(made, times);
            output = made;
        }
        // The peak of what is played: the proof that a bell was not silence.
        if (GstElement* level =
                gst_parse_bin_from_description("audioconvert ! level interval=100000000", TRUE, nullptr)) {
            g_object_set(pipe, "audio-filter", level, nullptr);
        }
        WatchPlaying(pipe, times);
        g_signal_connect(pipe, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
        return true;
    }

    // A new element (floating or not) for the audio output, nullptr for playbin's own choice.
    GstElement* MakeSink() {
        std::string description = options.audioSink;
        if (description.empty()) {
            if (const char* env = std::getenv("LINGCHAO_AUDIO_SINK")) description = env;
        }
        ++itemNumber;
        if (!description.empty()) {
            ReplaceAll(description, "{n}", std::to_string(itemNumber));
            GError* error = nullptr;
            GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
            if (bin != nullptr && error == nullptr) {
                NoteSink("custom audio output " + Quoted(description));
                return bin;
            }
            LogLine("audio output " + Quoted(description) +
                    " unusable: " + (error != nullptr ? error->message : "unknown"));
            g_clear_error(&error);
            if (bin != nullptr) gst_object_unref(bin);
        }
        if (GstElement* pulse = gst_element_factory_make("pulsesink", nullptr)) {
            gst_object_ref_sink(pulse);
            if (SinkCanOpen(pulse)) {
                NoteSink("pulsesink");
                return pulse;
            }
            gst_object_unref(pulse);
        }
        return FallbackSink();
    }

    // autoaudiosink probes every sink it knows (ALSA complains loudly on the way): do that once, then make
    // what it settled on directly.
    GstElement* FallbackSink() {
        if (fallbackFactory.empty()) {
            GstElement* probe = gst_element_factory_make("autoaudiosink", nullptr);
            if (probe == nullptr) return nullptr;
            gst_object_ref_sink(probe);
            const GstStateChangeReturn result = gst_element_set_state(probe, GST_STATE_READY);
            if (result != GST_STATE_CHANGE_FAILURE) {
                for (GList* child = GST_BIN_CHILDREN(GST_BIN(probe)); child != nullptr; child = child->next) {
                    GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(child->data));
                    if (factory != nullptr) fallbackFactory = GST_OBJECT_NAME(factory);
                }
            }
            gst_element_set_state(probe, GST_STATE_NULL);
            gst_object_unref(probe);
            NoteSink((fallbackFactory.empty() ? std::string("autoaudiosink") : fallbackFactory) +
                     " (no sound server answered pulsesink)");
        }
        GstElement* sink =
            gst_element_factory_make(fallbackFactory.empty() ? "autoaudiosink" : fallbackFactory.c_str(), nullptr);
        // Without a sound card it ends in fakesink: keep real time so a bell still ends when its music would.
        if (sink != nullptr && fallbackFactory == "fakesink") g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    }

    // Logs the choice of output when it changes, not at every bell.
    void NoteSink(const std::string& choice) {
        if (choice == sinkChoice) return;
        sinkChoice = choice;
        LogLine("audio output: " + choice);
    }

    static void WatchFirstBuffer(GstElement* output, const std::shared_ptr<Timing>& timing) {
        GstPad* pad = gst_element_get_static_pad(output, "sink");
        if (pad == nullptr) return;
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer data) -> GstPadProbeReturn {
                Timing& t = **static_cast<std::shared_ptr<Timing>*>(data);
                t.firstBufferNs.store(SteadyNs());
                if (t.onFirstBuffer != nullptr) (*t.onFirstBuffer)();
                return GST_PAD_PROBE_REMOVE;
            },
            new std::shared_ptr<Timing>(timing),
            [](gpointer data) { delete static_cast<std::shared_ptr<Timing>*>(data); });
        gst_object_unref(pad);
    }

    // Notes the moment the pipeline goes PLAYING, on the thread that makes it so.
    static void WatchPlaying(GstElement* pipe, const std::shared_ptr<Timing>& timing) {
        GstBus* bus = gst_element_get_bus(pipe);
        gst_bus_set_sync_handler(
            bus,
            [](GstBus*, GstMessage* message, gpointer data) -> GstBusSyncReply {
                if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_STATE_CHANGED) return GST_BUS_PASS;
                GstState newState = GST_STATE_VOID_PENDING;
                gst_message_parse_state_changed(message, nullptr, &newState, nullptr);
                Timing& t = **static_cast<std::shared_ptr<Timing>*>(data);
                std::int64_t none = 0;
                if (newState == GST_STATE_PLAYING && GST_IS_PIPELINE(GST_MESSAGE_SRC(message))) {
                    t.playingNs.compare_exchange_strong(none, SteadyNs());
                }
                return GST_BUS_PASS;
            },
            new std::shared_ptr<Timing>(timing),
            [](gpointer data) { delete static_cast<std::shared_ptr<Timing>*>(data); });
        gst_object_unref(bus);
    }

    void AttachBus() {
        if (!glibDispatcher) return;  // the poller reads the bus
        GstBus* bus = gst_element_get_bus(pipeline);
        auto* context = new WatchContext{this, generation};
        watch = gst_bus_add_watch_full(bus, G_PRIORITY_DEFAULT, &Impl::OnBusMessage, context,
                                       [](gpointer data) { delete static_cast<WatchContext*>(data); });
        gst_object_unref(bus);
    }

    std::string DrainError() {
        std::string text = "cannot start";
        GstBus* bus = gst_element_get_bus(pipeline);
        while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            if (error != nullptr) text = error->message;
            g_clear_error(&error);
            gst_message_unref(message);
        }
        gst_object_unref(bus);
        return text;
    }

    static gboolean OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
        const auto* context = static_cast<const WatchContext*>(data);
        if (context->generation != context->impl->generation) return G_SOURCE_REMOVE;
        return context->impl->Handle(message) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }

    void Poll() {
        while (pipeline != nullptr) {
            const unsigned before = generation;
            GstBus* bus = gst_element_get_bus(pipeline);
            GstMessage* message = gst_bus_pop(bus);
            gst_object_unref(bus);
            if (message == nullptr) return;
            Handle(message);
            gst_message_unref(message);
            if (generation != before) return;
        }
    }

    // Returns false when the pipeline the message came from is gone. After the end-of-stream handler has run,
    // nothing of the player is touched: the handler may have loaded a new medium.
    bool Handle(GstMessage* message) {
        NoteSoundStart();
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_ELEMENT:
                Measure(message);
                return true;
            case GST_MESSAGE_EOS:
                Advance();
                return false;
            case GST_MESSAGE_ERROR: {
                GError* error = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(message, &error, &debug);
                if (debug != nullptr && !failures.Told()) LogLine(std::string("player detail: ") + debug);
                Failed(items[current], error != nullptr ? error->message : "error");
                g_clear_error(&error);
                g_free(debug);
                if (isList) {
                    Advance();
                } else {
                    Teardown();
                    state = State::Error;
                    FinishProof();
                }
                return false;
            }
            default:
                return true;
        }
    }

    // The current item is over: the next entry of a list, or the end of the medium.
    void Advance() {
        if (isList && current + 1 < items.size()) {
            StartFrom(current + 1);
            return;
        }
        Teardown();
        state = State::Idle;
        CloseFailures();
        FinishProof();
        if (endOfStream) {
            std::function<void()> handler = endOfStream;
            handler();
        }
    }

    void ReportEndLater() {
        if (!glibDispatcher) {
            const unsigned expected = generation;
            QTimer::singleShot(0, poller, [this, expected] {
                if (expected == generation && endOfStream) {
                    std::function<void()> handler = endOfStream;
                    handler();
                }
            });
            return;
        }
        auto* context = new WatchContext{this, generation};
        // On the context of the thread the player lives on (the bus watch's too), not GLib's global one: the
        // player may run on a thread of its own.
        GSource* idle = g_idle_source_new();
        g_source_set_priority(idle, G_PRIORITY_DEFAULT);
        g_source_set_callback(
            idle,
            [](gpointer data) -> gboolean {
                const auto* c = static_cast<const WatchContext*>(data);
                if (c->generation == c->impl->generation && c->impl->endOfStream) {
                    std::function<void()> handler = c->impl->endOfStream;
                    handler();
                }
                return G_SOURCE_REMOVE;
            },
            context, [](gpointer data) { delete static_cast<WatchContext*>(data); });
        g_source_attach(idle, g_main_context_get_thread_default());
        g_source_unref(idle);
    }
};

GstPlayer::GstPlayer(GstPlayerOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->proofDeadline.setInterval(static_cast<int>(impl_->options.soundDeadline.count()));
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    impl_->glibDispatcher = dispatcher == nullptr || dispatcher->inherits("QEventDispatcherGlib");
    if (!impl_->glibDispatcher) {
        LogLine("Qt does not run GLib's main loop here: polling the player's bus");
        impl_->poller = new QTimer(&impl_->owner);
        impl_->poller->setInterval(20);
        Impl* impl = impl_.get();
        QObject::connect(impl_->poller, &QTimer::timeout, [impl] { impl->Poll(); });
        impl_->poller->start();
    }
}

GstPlayer::~GstPlayer() = default;

void GstPlayer::SetFileName(const std::string& path) {
    impl_->Teardown();
    impl_->CloseFailures();
    impl_->FinishProof();
    impl_->fileName = path;
    const bool release = !impl_->options.nullMediaPath.empty() && path == impl_->options.nullMediaPath;
    if (!release) impl_->BeginProof();
    impl_->adopting = true;
    impl_->Load();
    if (impl_->state == State::Idle) {
        impl_->StartFrom(0);
    } else {
        impl_->FinishProof();  // nothing to play: the proof says why
    }
    impl_->adopting = false;
    // Releasing the medium that ended keeps the next bell ready; any other medium replaces it.
    if (!release) impl_->DropPrepared();
}

void GstPlayer::Prepare(const std::string& path) { impl_->Prepare(path); }

void GstPlayer::StartPreparedAt(const std::string& path, std::chrono::steady_clock::time_point at) {
    impl_->StartPreparedAt(path, at);
}

std::string GstPlayer::FileName() const { return impl_->fileName; }

void GstPlayer::Play() {
    switch (impl_->state) {
        case State::Paused:
            if (gst_element_set_state(impl_->pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
                impl_->state = State::Playing;
            }
            return;
        case State::Idle:
            impl_->Teardown();
            impl_->CloseFailures();
            impl_->BeginProof();
            impl_->Load();
            if (impl_->state == State::Idle) {
                impl_->StartFrom(0);
            } else {
                impl_->FinishProof();
            }
            return;
        case State::Empty:
        case State::Playing:
        case State::Error:
            return;
    }
}

void GstPlayer::Pause() {
    if (impl_->state != State::Playing) return;
    // A bell started on its instant has no start time (its base time was set): with one, PLAYING after the pause
    // goes on from where it stopped.
    gst_element_set_start_time(impl_->pipeline, 0);
    if (gst_element_set_state(impl_->pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
        impl_->state = State::Paused;
    }
}

void GstPlayer::Stop() {
    if (impl_->prepared && impl_->prepared->started) impl_->DropPrepared();
    if (impl_->state != State::Playing && impl_->state != State::Paused) return;
    impl_->Teardown();
    impl_->state = State::Idle;
    impl_->FinishProof();
}

void GstPlayer::SetEndOfStreamHandler(std::function<void()> handler) { impl_->endOfStream = std::move(handler); }

void GstPlayer::SetSoundProofHandler(std::function<void(const SoundProof&)> handler) {
    impl_->proofHandler = std::move(handler);
}

GstPlayer::State GstPlayer::state() const { return impl_->state; }

bool GstPlayer::PreparedAndWaiting() const { return impl_->prepared && impl_->prepared->timing->held.load(); }

}  // namespace lingchao
