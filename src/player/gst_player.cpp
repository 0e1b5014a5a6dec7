// GLib headers before Qt's: Qt's "signals" macro breaks gio's headers.
#include <gst/gst.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/log.h"
#include "player/failure_tally.h"
#include "player/gst_player.h"
#include "player/media_file.h"
#include "player/media_path.h"
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

    ~Impl() {
        Teardown();
        delete poller;
    }

    void Teardown() {
        ++generation;
        if (pipeline == nullptr) return;
        gst_element_set_state(pipeline, GST_STATE_NULL);
        if (watch != 0) g_source_remove(watch);
        watch = 0;
        gst_object_unref(pipeline);
        pipeline = nullptr;
    }

    void Failed(const std::string& path, const std::string& reason) {
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
        if (isList) {
            // Reached the end of the list through failing entries: it has ended all the same.
            state = State::Idle;
            ReportEndLater();
        } else {
            state = State::Error;
        }
    }

    bool StartItem(std::size_t index) {
        const std::string& text = items[index];
        if (isList && IsMusicListPath(text)) {
            Failed(text, "a music list inside a music list is not played");
            return false;
        }
        // Checked away from this thread, and only a regular file goes on: GStreamer's own open would wait for
        // good on a FIFO or a share that stopped answering, and the tick with it.
        const MediaFile where = CheckMediaFile(text, isList ? listFolder : std::filesystem::path());
        if (where.problem == MediaFileProblem::Empty) {
            if (std::filesystem::path(where.path).filename() != "null.dll") Failed(where.path, "empty file");
            return false;
        }
        if (where.problem != MediaFileProblem::None) {
            Failed(where.path.empty() ? text : where.path, MediaProblemLogText(where.problem));
            return false;
        }
        if (where.mended || where.foundByName) {
            LogLine("playing " + Quoted(text) + " as " + Quoted(where.path) +
                    (where.foundByName ? " (found by name)" : ""));
        }
        GError* error = nullptr;
        gchar* uri = gst_filename_to_uri(where.path.c_str(), &error);
        if (uri == nullptr) {
            Failed(where.path, error != nullptr ? error->message : "bad path");
            g_clear_error(&error);
            return false;
        }
        pipeline = gst_element_factory_make("playbin", nullptr);
        if (pipeline == nullptr) {
            g_free(uri);
            Failed(where.path, "GStreamer's playbin is missing");
            return false;
        }
        gst_object_ref_sink(pipeline);
        g_object_set(pipeline, "uri", uri, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
        g_free(uri);
        if (GstElement* sink = MakeSink()) {
            gst_object_ref_sink(sink);
            g_object_set(pipeline, "audio-sink", sink, nullptr);
            if (options.onFirstBuffer) WatchFirstBuffer(sink);
            gst_object_unref(sink);
        }
        g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
        AttachBus();
        current = index;
        if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            Failed(where.path, DrainError());
            Teardown();
            return false;
        }
        state = State::Playing;
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

    void WatchFirstBuffer(GstElement* sink) {
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        if (pad == nullptr) return;
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer data) -> GstPadProbeReturn {
                (*static_cast<std::function<void()>*>(data))();
                return GST_PAD_PROBE_REMOVE;
            },
            &options.onFirstBuffer, nullptr);
        gst_object_unref(pad);
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
        switch (GST_MESSAGE_TYPE(message)) {
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
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                const auto* c = static_cast<const WatchContext*>(data);
                if (c->generation == c->impl->generation && c->impl->endOfStream) {
                    std::function<void()> handler = c->impl->endOfStream;
                    handler();
                }
                return G_SOURCE_REMOVE;
            },
            context, [](gpointer data) { delete static_cast<WatchContext*>(data); });
    }
};

GstPlayer::GstPlayer(GstPlayerOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    impl_->glibDispatcher = dispatcher == nullptr || dispatcher->inherits("QEventDispatcherGlib");
    if (!impl_->glibDispatcher) {
        LogLine("Qt does not run GLib's main loop here: polling the player's bus");
        impl_->poller = new QTimer();
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
    impl_->fileName = path;
    impl_->Load();
    if (impl_->state == State::Idle) impl_->StartFrom(0);
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
            impl_->Load();
            if (impl_->state == State::Idle) impl_->StartFrom(0);
            return;
        case State::Empty:
        case State::Playing:
        case State::Error:
            return;
    }
}

void GstPlayer::Pause() {
    if (impl_->state != State::Playing) return;
    if (gst_element_set_state(impl_->pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
        impl_->state = State::Paused;
    }
}

void GstPlayer::Stop() {
    if (impl_->state != State::Playing && impl_->state != State::Paused) return;
    impl_->Teardown();
    impl_->state = State::Idle;
}

void GstPlayer::SetEndOfStreamHandler(std::function<void()> handler) { impl_->endOfStream = std::move(handler); }

GstPlayer::State GstPlayer::state() const { return impl_->state; }

}  // namespace lingchao
