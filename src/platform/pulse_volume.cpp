#include "platform/pulse_volume.h"

#include <pulse/pulseaudio.h>

#include <QMetaObject>
#include <QTimer>
#include <algorithm>

#include "base/log.h"

namespace lingchao {
namespace {

// DecodeSavedVolume refuses anything beyond these, so a saved volume read back from its file is one libpulse takes.
static_assert(PA_CHANNELS_MAX == 32 && PA_VOLUME_MAX == 0x7fffffffU);

const char* const kNoServer = "没有声音服务器（PulseAudio/PipeWire）";
// Shorter than the output monitor's wait: an emergency signal cannot wait long for its volume.
constexpr int kAnswerLimitMs = 3000;

std::string Gone(const std::string& sink) { return "声音输出 " + sink + " 已不在"; }

}  // namespace

// Everything here runs on libpulse's thread with its lock held, except where the owner calls in (taking the
// lock).
struct PulseVolumeControl::Impl {
    // One request, on a connection of its own.
    struct Job {
        Impl* impl = nullptr;
        std::uint64_t id = 0;
        bool raise = false;      // else a restore
        bool sinkSeen = false;   // the sink's reading arrived (an end of list without it means the sink is not there)
        bool changing = false;   // a change has been sent: giving up must not leave it half done
        bool abandoned = false;  // the owner gave up waiting: finish quietly, putting back what a raise changed
        bool done = false;       // disconnected; freed by the owner's next sweep
        pa_context* context = nullptr;
        SavedVolume saved;    // a raise: what was there before; a restore: what to put back
        pa_cvolume target{};  // the volume being set back
        std::string why;      // a raise that failed: told once what was read is back
        std::function<void(const SavedVolume&)> noteBefore;  // a raise: kept by the owner before anything changes
    };

    PulseVolumeControl* owner = nullptr;
    pa_threaded_mainloop* loop = nullptr;
    std::map<std::uint64_t, std::unique_ptr<Job>> jobs;

    // Frees the connections of finished requests (not from within their own callbacks).
    void Sweep() {
        for (auto it = jobs.begin(); it != jobs.end();) {
            if (it->second->done) {
                if (it->second->context != nullptr) pa_context_unref(it->second->context);
                it = jobs.erase(it);
            } else {
                ++it;
            }
        }
    }

    void Begin(Job* job) {
        job->context = pa_context_new(pa_threaded_mainloop_get_api(loop), "lingchao");
        if (job->context == nullptr) {
            Finish(job, std::nullopt, kNoServer);
            return;
        }
        pa_context_set_state_callback(job->context, &Impl::OnState, job);
        // Never start a sound server ourselves: there is none to raise.
        if (pa_context_connect(job->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            Finish(job, std::nullopt, kNoServer);
        }
    }

    static void Finish(Job* job, std::optional<SavedVolume> before, const std::string& why) {
        if (job->done) return;
        job->done = true;
        if (job->context != nullptr) {
            pa_context_set_state_callback(job->context, nullptr, nullptr);
            pa_context_disconnect(job->context);
        }
        if (job->abandoned) return;
        PulseVolumeControl* to = job->impl->owner;
        const std::uint64_t id = job->id;
        QMetaObject::invokeMethod(
            to, [to, id, before = std::move(before), why] { to->Answer(id, before, why); }, Qt::QueuedConnection);
    }

    static void Failed(Job* job, const char* what) {
        LogLine(std::string("output volume: ") + what + " " + job->saved.sink + ": " +
                pa_strerror(pa_context_errno(job->context)));
    }

    // An operation that could not even be sent means the connection is gone.
    static void Sent(Job* job, pa_operation* op) {
        if (op != nullptr) {
            pa_operation_unref(op);
        } else {
            Finish(job, std::nullopt, kNoServer);
        }
    }

    static void OnState(pa_context* c, void* data) {
        auto* job = static_cast<Job*>(data);
        switch (pa_context_get_state(c)) {
            case PA_CONTEXT_READY:
                if (job->raise) {
                    Sent(job, pa_context_get_server_info(c, &Impl::OnServer, job));
                } else {
                    Sent(job, pa_context_get_sink_info_by_name(c, job->saved.sink.c_str(), &Impl::OnSink, job));
                }
                break;
            case PA_CONTEXT_FAILED:
            case PA_CONTEXT_TERMINATED:
                Finish(job, std::nullopt, kNoServer);
                break;
            default:
                break;
        }
    }

    static void OnServer(pa_context* c, const pa_server_info* info, void* data) {
        auto* job = static_cast<Job*>(data);
        if (info == nullptr || info->default_sink_name == nullptr || *info->default_sink_name == '\0') {
            Finish(job, std::nullopt, "没有声音输出");
            return;
        }
        job->saved.sink = info->default_sink_name;
        Sent(job, pa_context_get_sink_info_by_name(c, info->default_sink_name, &Impl::OnSink, job));
    }

    static void OnSink(pa_context* c, const pa_sink_info* info, int eol, void* data) {
        auto* job = static_cast<Job*>(data);
        if (eol != 0 || info == nullptr) {
            if (!job->sinkSeen) Finish(job, std::nullopt, Gone(job->saved.sink));
            return;
        }
        job->sinkSeen = true;
        job->changing = true;
        if (job->raise) {
            if (!pa_cvolume_valid(&info->volume)) {
                Finish(job, std::nullopt, "无法读取声音输出 " + job->saved.sink + " 的音量");
                return;
            }
            job->saved.channels.assign(info->volume.values, info->volume.values + info->volume.channels);
            job->saved.muted = info->mute != 0;
            // Not once given up on: the owner has answered "not raised" and will not put this reading back.
            if (job->noteBefore && !job->abandoned) job->noteBefore(job->saved);
            Sent(job, pa_context_set_sink_mute_by_name(c, job->saved.sink.c_str(), 0, &Impl::OnRaisedMute, job));
            return;
        }
        job->target = Fit(job->saved.channels, info->volume);
        Sent(job, pa_context_set_sink_volume_by_name(c, job->saved.sink.c_str(), &job->target, &Impl::OnRestoredVolume,
                                                     job));
    }

    // The saved channels when the sink still has as many; else the loudest of them on each channel it has now.
    static pa_cvolume Fit(const std::vector<std::uint32_t>& saved, const pa_cvolume& now) {
        pa_cvolume v = now;
        if (saved.empty()) return v;
        const pa_volume_t loudest = std::min<pa_volume_t>(*std::max_element(saved.begin(), saved.end()), PA_VOLUME_MAX);
        if (saved.size() != now.channels) {
            pa_cvolume_set(&v, now.channels, loudest);
            return v;
        }
        for (std::size_t i = 0; i < saved.size(); ++i) v.values[i] = std::min<pa_volume_t>(saved[i], PA_VOLUME_MAX);
        return v;
    }

    static void OnRaisedMute(pa_context* c, int success, void* data) {
        auto* job = static_cast<Job*>(data);
        if (success == 0) {
            Failed(job, "cannot unmute");
            PutBack(job, "无法打开声音输出 " + job->saved.sink + " 的声音");
            return;
        }
        pa_cvolume full;
        pa_cvolume_set(&full, static_cast<unsigned>(job->saved.channels.size()), PA_VOLUME_NORM);
        Sent(job, pa_context_set_sink_volume_by_name(c, job->saved.sink.c_str(), &full, &Impl::OnRaisedVolume, job));
    }

    static void OnRaisedVolume(pa_context*, int success, void* data) {
        auto* job = static_cast<Job*>(data);
        if (success == 0) {
            Failed(job, "cannot raise the volume of");
            PutBack(job, "无法调高声音输出 " + job->saved.sink + " 的音量");
        } else if (job->abandoned) {
            PutBack(job, "");  // nobody waits for this raise any more, so nobody would ever lower it
        } else {
            Finish(job, job->saved, "");
        }
    }

    // After a raise that failed half way (or came too late): what was read goes back, then the answer.
    static void PutBack(Job* job, std::string why) {
        job->why = std::move(why);
        pa_cvolume_init(&job->target);
        job->target.channels = static_cast<std::uint8_t>(job->saved.channels.size());  // as read from the sink
        std::copy(job->saved.channels.begin(), job->saved.channels.end(), job->target.values);
        Sent(job, pa_context_set_sink_volume_by_name(job->context, job->saved.sink.c_str(), &job->target,
                                                     &Impl::OnPutBackVolume, job));
    }

    static void OnPutBackVolume(pa_context* c, int success, void* data) {
        auto* job = static_cast<Job*>(data);
        if (success == 0) Failed(job, "cannot put back the volume of");
        Sent(job, pa_context_set_sink_mute_by_name(c, job->saved.sink.c_str(), job->saved.muted ? 1 : 0,
                                                   &Impl::OnPutBackMute, job));
    }

    static void OnPutBackMute(pa_context*, int success, void* data) {
        auto* job = static_cast<Job*>(data);
        if (success == 0) Failed(job, "cannot put back the mute of");
        Finish(job, std::nullopt, job->why);
    }

    static void OnRestoredVolume(pa_context* c, int success, void* data) {
        auto* job = static_cast<Job*>(data);
        if (success == 0) {
            Failed(job, "cannot restore the volume of");
            Finish(job, std::nullopt, "无法恢复声音输出 " + job->saved.sink + " 的音量");
            return;
        }
        Sent(job, pa_context_set_sink_mute_by_name(c, job->saved.sink.c_str(), job->saved.muted ? 1 : 0,
                                                   &Impl::OnRestoredMute, job));
    }

    static void OnRestoredMute(pa_context*, int success, void* data) {
        auto* job = static_cast<Job*>(data);
        if (success == 0) {
            Failed(job, "cannot restore the mute of");
            Finish(job, std::nullopt, "无法恢复声音输出 " + job->saved.sink + " 的静音");
            return;
        }
        Finish(job, std::nullopt, "");
    }
};

PulseVolumeControl::PulseVolumeControl() : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    impl_->loop = pa_threaded_mainloop_new();
    if (impl_->loop != nullptr && pa_threaded_mainloop_start(impl_->loop) < 0) {
        pa_threaded_mainloop_free(impl_->loop);
        impl_->loop = nullptr;
    }
    if (impl_->loop == nullptr) LogLine("output volume: libpulse cannot start its thread");
}

PulseVolumeControl::~PulseVolumeControl() {
    if (impl_->loop == nullptr) return;
    pa_threaded_mainloop_lock(impl_->loop);
    for (auto& [id, job] : impl_->jobs) {
        if (job->context == nullptr) continue;
        pa_context_set_state_callback(job->context, nullptr, nullptr);
        if (!job->done) pa_context_disconnect(job->context);
        pa_context_unref(job->context);
    }
    impl_->jobs.clear();
    pa_threaded_mainloop_unlock(impl_->loop);
    pa_threaded_mainloop_stop(impl_->loop);
    pa_threaded_mainloop_free(impl_->loop);
}

void PulseVolumeControl::RaiseToFull(std::function<void(const SavedVolume& before)> noteBefore,
                                     std::function<void(std::optional<SavedVolume> before, std::string why)> done) {
    Waiting waiting;
    waiting.raised = std::move(done);
    Start(nextId_++, std::move(waiting), nullptr, std::move(noteBefore));
}

void PulseVolumeControl::Restore(const SavedVolume& saved, std::function<void(std::string why)> done) {
    Waiting waiting;
    waiting.restored = std::move(done);
    Start(nextId_++, std::move(waiting), &saved, nullptr);
}

void PulseVolumeControl::Start(std::uint64_t id, Waiting waiting, const SavedVolume* restore,
                               std::function<void(const SavedVolume&)> noteBefore) {
    waiting.limit = new QTimer(this);
    waiting.limit->setSingleShot(true);
    waiting.limit->setInterval(kAnswerLimitMs);
    connect(waiting.limit, &QTimer::timeout, this, [this, id] { GiveUp(id); });
    waiting.limit->start();
    waiting_.emplace(id, std::move(waiting));
    if (impl_->loop == nullptr) {
        QMetaObject::invokeMethod(
            this, [this, id] { Answer(id, std::nullopt, kNoServer); }, Qt::QueuedConnection);
        return;
    }
    pa_threaded_mainloop_lock(impl_->loop);
    impl_->Sweep();
    auto job = std::make_unique<Impl::Job>();
    job->impl = impl_.get();
    job->id = id;
    job->raise = restore == nullptr;
    if (restore != nullptr) job->saved = *restore;
    job->noteBefore = std::move(noteBefore);
    Impl::Job* started = job.get();
    impl_->jobs.emplace(id, std::move(job));
    impl_->Begin(started);
    pa_threaded_mainloop_unlock(impl_->loop);
}

void PulseVolumeControl::GiveUp(std::uint64_t id) {
    LogLine("output volume: the sound server does not answer");
    if (impl_->loop != nullptr) {
        pa_threaded_mainloop_lock(impl_->loop);
        const auto it = impl_->jobs.find(id);
        if (it != impl_->jobs.end()) {
            Impl::Job* job = it->second.get();
            job->abandoned = true;
            // Nothing changed yet: drop the connection. Else let it finish, so a raise is put back when it lands.
            if (!job->changing) Impl::Finish(job, std::nullopt, kNoServer);
        }
        pa_threaded_mainloop_unlock(impl_->loop);
    }
    Answer(id, std::nullopt, kNoServer);
}

void PulseVolumeControl::Answer(std::uint64_t id, std::optional<SavedVolume> before, const std::string& why) {
    const auto it = waiting_.find(id);
    if (it == waiting_.end()) return;  // already answered: given up on
    Waiting waiting = std::move(it->second);
    waiting_.erase(it);
    waiting.limit->stop();
    waiting.limit->deleteLater();  // this may be its own timeout
    if (waiting.raised) {
        waiting.raised(std::move(before), why);
    } else if (waiting.restored) {
        waiting.restored(why);
    }
}

}  // namespace lingchao
