#include "platform/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <QMetaObject>
#include <cmath>

#include "base/log.h"

namespace lingchao {
namespace {

bool Same(const SoundOutputState& a, const SoundOutputState& b) {
    return a.server == b.server && a.sinkName == b.sinkName && a.description == b.description && a.muted == b.muted &&
           a.volumePercent == b.volumePercent && a.portUnavailable == b.portUnavailable;
}

}  // namespace

// Everything here runs on libpulse's thread with its lock held, except where the owner calls in (taking the lock).
struct PulseOutputMonitor::Impl {
    PulseOutputMonitor* owner = nullptr;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool stale = false;  // the last connection never answered: start a new one

    void Post(const SoundOutputState& state) {
        PulseOutputMonitor* to = owner;
        QMetaObject::invokeMethod(
            to, [to, state] { to->Deliver(state); }, Qt::QueuedConnection);
    }

    void PostServerOnly() {
        SoundOutputState state;
        state.server = true;
        Post(state);
    }

    void Connect() {
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        stale = false;
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "lingchao");
        if (context == nullptr) {
            Post({});
            return;
        }
        pa_context_set_state_callback(context, &Impl::OnState, this);
        // Never start a sound server ourselves: a missing one is what the warning is for.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) Post({});
    }

    void Read() {
        if (pa_operation* op = pa_context_get_server_info(context, &Impl::OnServer, this)) {
            pa_operation_unref(op);
        } else {
            Post({});
        }
    }

    static void OnState(pa_context* c, void* data) {
        auto* self = static_cast<Impl*>(data);
        switch (pa_context_get_state(c)) {
            case PA_CONTEXT_READY: {
                pa_context_set_subscribe_callback(c, &Impl::OnEvent, self);
                const auto mask = static_cast<pa_subscription_mask_t>(
                    PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_CARD);
                if (pa_operation* op = pa_context_subscribe(c, mask, nullptr, nullptr)) pa_operation_unref(op);
                self->Read();
                break;
            }
            case PA_CONTEXT_FAILED:
            case PA_CONTEXT_TERMINATED:
                self->Post({});
                break;
            default:
                break;
        }
    }

    static void OnEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* data) {
        static_cast<Impl*>(data)->Read();
    }

    static void OnServer(pa_context* c, const pa_server_info* info, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (info == nullptr || info->default_sink_name == nullptr || *info->default_sink_name == '\0') {
            self->PostServerOnly();
            return;
        }
        if (pa_operation* op = pa_context_get_sink_info_by_name(c, info->default_sink_name, &Impl::OnSink, self)) {
            pa_operation_unref(op);
        } else {
            self->PostServerOnly();
        }
    }

    static void OnSink(pa_context*, const pa_sink_info* info, int eol, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (eol < 0 || (eol == 0 && info == nullptr)) {
            self->PostServerOnly();  // the default sink named by the server is not there
            return;
        }
        if (eol > 0) return;
        SoundOutputState state;
        state.server = true;
        state.sinkName = info->name != nullptr ? info->name : "";
        state.description = info->description != nullptr ? info->description : "";
        state.muted = info->mute != 0;
        state.volumePercent =
            static_cast<int>(std::lround(static_cast<double>(pa_cvolume_max(&info->volume)) * 100.0 / PA_VOLUME_NORM));
        state.portUnavailable = info->active_port != nullptr && info->active_port->available == PA_PORT_AVAILABLE_NO;
        self->Post(state);
    }
};

PulseOutputMonitor::PulseOutputMonitor() : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    settle_.setSingleShot(true);
    settle_.setInterval(250);
    connect(&settle_, &QTimer::timeout, this, [this] {
        told_ = true;
        if (listener_) listener_(latest_);
    });
    answerLimit_.setSingleShot(true);
    answerLimit_.setInterval(5000);
    connect(&answerLimit_, &QTimer::timeout, this, [this] {
        LogLine("sound output: the sound server does not answer");
        if (impl_->loop != nullptr) {
            pa_threaded_mainloop_lock(impl_->loop);
            impl_->stale = true;
            pa_threaded_mainloop_unlock(impl_->loop);
        }
        Deliver({});
    });
    impl_->loop = pa_threaded_mainloop_new();
    if (impl_->loop != nullptr && pa_threaded_mainloop_start(impl_->loop) < 0) {
        pa_threaded_mainloop_free(impl_->loop);
        impl_->loop = nullptr;
    }
    if (impl_->loop == nullptr) LogLine("sound output: libpulse cannot start its thread");
}

PulseOutputMonitor::~PulseOutputMonitor() {
    if (impl_->loop == nullptr) return;
    pa_threaded_mainloop_lock(impl_->loop);
    if (impl_->context != nullptr) {
        pa_context_set_state_callback(impl_->context, nullptr, nullptr);
        pa_context_set_subscribe_callback(impl_->context, nullptr, nullptr);
        pa_context_disconnect(impl_->context);
        pa_context_unref(impl_->context);
        impl_->context = nullptr;
    }
    pa_threaded_mainloop_unlock(impl_->loop);
    pa_threaded_mainloop_stop(impl_->loop);
    pa_threaded_mainloop_free(impl_->loop);
}

void PulseOutputMonitor::Check() {
    if (impl_->loop == nullptr) {
        Deliver({});
        return;
    }
    pa_threaded_mainloop_lock(impl_->loop);
    const pa_context_state_t state =
        impl_->context != nullptr ? pa_context_get_state(impl_->context) : PA_CONTEXT_UNCONNECTED;
    if (state == PA_CONTEXT_READY) {
        impl_->Read();
    } else if (impl_->stale || !PA_CONTEXT_IS_GOOD(state)) {
        impl_->Connect();
    }  // else still connecting: the reading follows when it is ready
    pa_threaded_mainloop_unlock(impl_->loop);
    if (!answerLimit_.isActive()) answerLimit_.start();
}

void PulseOutputMonitor::SetListener(std::function<void(const SoundOutputState&)> listener) {
    listener_ = std::move(listener);
}

void PulseOutputMonitor::Deliver(const SoundOutputState& state) {
    answerLimit_.stop();
    // The same reading again (an output still missing, asked every few seconds while it is) has nothing to settle:
    // told at once, it costs no wake-up of its own.
    if (told_ && !settle_.isActive() && Same(state, latest_)) {
        if (listener_) listener_(state);
        return;
    }
    latest_ = state;
    if (!settle_.isActive()) settle_.start();
}

}  // namespace lingchao
