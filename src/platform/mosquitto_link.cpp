#include "platform/mosquitto_link.h"

#include <mosquitto.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <utility>

namespace lingchao {
namespace {

// The most MQTT can carry in one message.
constexpr std::size_t kMaxPayload = 268435455;

// libmosquitto's process-wide set-up (OpenSSL's among it): once, from whichever link starts first, and never undone
// since links come and go.
void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

const char* OrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

MosquittoLink::MosquittoLink(MosquittoLinkOptions options, Hooks hooks)
    : options_(std::move(options)), hooks_(std::move(hooks)) {}

MosquittoLink::~MosquittoLink() {
    stopping_ = true;
    if (thread_.joinable()) {
        // Queued after what is waiting to go out; the thread sends it all, then the socket closes.
        mosquitto_disconnect(mosq_);
        // Taken once so a thread about to wait sees stopping_ or gets the notification.
        { std::lock_guard lock(mutex_); }
        wake_.notify_all();
        thread_.join();
    }
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

bool MosquittoLink::Start(std::string* why) {
    if (mosq_ != nullptr) return Fail(why, "已经启动");
    if (options_.clientId.empty()) return Fail(why, "客户端标识为空");
    if (options_.host.empty() || options_.port <= 0 || options_.port > 65535) return Fail(why, "服务器地址或端口无效");
    if (options_.keepAliveSeconds < 5) return Fail(why, "心跳间隔不得少于 5 秒");
    if (options_.certFile.empty() != options_.keyFile.empty()) return Fail(why, "客户端证书与私钥须同时给出");
    InitLibrary();
    // Clean session off: the broker keeps this PC's subscriptions and its QoS 1 messages while it is away.
    mosq_ = mosquitto_new(options_.clientId.c_str(), false, this);
    if (mosq_ == nullptr) return Fail(why, "无法创建 MQTT 客户端");
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq_, &MosquittoLink::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &MosquittoLink::OnDisconnect);
    mosquitto_message_callback_set(mosq_, &MosquittoLink::OnMessage);
    const std::string problem = [this]() -> std::string {
        int rc = MOSQ_ERR_SUCCESS;
        if (!options_.userName.empty()) {
            rc = mosquitto_username_pw_set(mosq_, options_.userName.c_str(), OrNull(options_.password));
            if (rc != MOSQ_ERR_SUCCESS) return std::string("用户名或密码无效: ") + mosquitto_strerror(rc);
        }
        if (!options_.caFile.empty()) {
            rc = mosquitto_tls_set(mosq_, options_.caFile.c_str(), nullptr, OrNull(options_.certFile),
                                   OrNull(options_.keyFile), nullptr);
            if (rc != MOSQ_ERR_SUCCESS) return std::string("TLS 证书文件无法读取: ") + mosquitto_strerror(rc);
        }
        if (!options_.willTopic.empty()) {
            rc = mosquitto_will_set(mosq_, options_.willTopic.c_str(), static_cast<int>(options_.willPayload.size()),
                                    options_.willPayload.data(), 1, options_.willRetained);
            if (rc != MOSQ_ERR_SUCCESS) return std::string("遗嘱消息无效: ") + mosquitto_strerror(rc);
        }
        return "";
    }();
    if (!problem.empty()) {
        // Nothing half-made stays behind: Publish refuses, and Start may be called again.
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return Fail(why, problem);
    }
    // Publish and Subscribe come from other threads while the network thread reads and writes.
    mosquitto_threaded_set(mosq_, true);
    {
        std::lock_guard lock(mutex_);
        lastConnected_ = options_.now();
    }
    thread_ = std::thread(&MosquittoLink::Run, this);
    return true;
}

bool MosquittoLink::Publish(const std::string& topic, const std::string& payload, bool retained, std::string* why) {
    if (mosquitto_pub_topic_check(topic.c_str()) != MOSQ_ERR_SUCCESS) return Fail(why, "主题无效: " + topic);
    if (payload.size() > kMaxPayload) return Fail(why, "消息过大");
    if (mosq_ == nullptr) return Fail(why, "连接尚未启动");
    const int rc =
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retained);
    // Without a connection a QoS 1 message stays queued in the library and goes out after the reconnect.
    if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN) return true;
    return Fail(why, mosquitto_strerror(rc));
}

bool MosquittoLink::Subscribe(const std::string& filter, std::string* why) {
    if (mosquitto_sub_topic_check(filter.c_str()) != MOSQ_ERR_SUCCESS) return Fail(why, "订阅主题无效: " + filter);
    std::lock_guard lock(mutex_);
    if (std::find(filters_.begin(), filters_.end(), filter) == filters_.end()) filters_.push_back(filter);
    // Else the next connect subscribes it; a failure here is a lost connection, which reconnects.
    if (connected_) mosquitto_subscribe(mosq_, nullptr, filter.c_str(), 1);
    return true;
}

std::chrono::steady_clock::duration MosquittoLink::CutOffFor() const {
    std::lock_guard lock(mutex_);
    if (connected_) return std::chrono::steady_clock::duration::zero();
    return options_.now() - lastConnected_;
}

void MosquittoLink::Run() {
    // A write to a socket the broker closed raises SIGPIPE on this thread (OpenSSL writes without MSG_NOSIGNAL):
    // blocked here, the write fails with EPIPE instead of ending the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::chrono::seconds delay = options_.reconnectFirst;
    bool first = true;
    while (!stopping_) {
        attemptTold_ = false;
        reachedBroker_ = false;
        // Non-blocking: the TCP and TLS handshakes and the CONNECT go on inside mosquitto_loop.
        int rc = first ? mosquitto_connect_async(mosq_, options_.host.c_str(), options_.port, options_.keepAliveSeconds)
                       : mosquitto_reconnect_async(mosq_);
        first = false;
        std::chrono::steady_clock::time_point goodbyeBy{};
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(mosq_, 1000, 1);
            if (!stopping_) continue;
            // Destruction: the goodbye closes the socket once sent; a broker that does not take it is left.
            const auto now = std::chrono::steady_clock::now();
            if (goodbyeBy == std::chrono::steady_clock::time_point{}) {
                goodbyeBy = now + std::chrono::seconds(2);
            } else if (now > goodbyeBy) {
                break;
            }
        }
        if (stopping_) break;
        if (connected_) {
            // Lost without the library's word (its disconnect callback marks the usual case).
            std::lock_guard lock(mutex_);
            connected_ = false;
            lastConnected_ = options_.now();
        }
        if (!attemptTold_) Tell(false, std::string("无法连接服务器: ") + mosquitto_strerror(rc));
        const std::chrono::seconds wait = reachedBroker_ ? options_.reconnectFirst : delay;
        delay = std::min(wait * 2, options_.reconnectLast);
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, wait, [this] { return stopping_.load(); });
    }
}

void MosquittoLink::OnConnect(mosquitto* /*mosq*/, void* self, int rc) {
    auto* link = static_cast<MosquittoLink*>(self);
    if (rc != 0) {
        link->attemptTold_ = true;
        link->Tell(false, std::string("服务器拒绝连接: ") + mosquitto_connack_string(rc));
        return;
    }
    link->reachedBroker_ = true;
    {
        // A filter added meanwhile is either seen here or subscribes itself: both hold the mutex.
        std::lock_guard lock(link->mutex_);
        link->connected_ = true;
        for (const auto& filter : link->filters_) mosquitto_subscribe(link->mosq_, nullptr, filter.c_str(), 1);
    }
    link->Tell(true, "");
}

void MosquittoLink::OnDisconnect(mosquitto* /*mosq*/, void* self, int rc) {
    auto* link = static_cast<MosquittoLink*>(self);
    if (!link->connected_) return;  // a failed attempt: Run tells why
    {
        std::lock_guard lock(link->mutex_);
        link->connected_ = false;
        link->lastConnected_ = link->options_.now();
    }
    link->attemptTold_ = true;
    link->Tell(false, std::string("与服务器的连接断开: ") + mosquitto_strerror(rc));
}

void MosquittoLink::OnMessage(mosquitto* /*mosq*/, void* self, const mosquitto_message* message) {
    auto* link = static_cast<MosquittoLink*>(self);
    if (link->stopping_) return;
    const std::string topic = message->topic != nullptr ? message->topic : "";
    const auto size = static_cast<std::size_t>(message->payloadlen);
    if (size > link->options_.maxIncomingBytes) {
        if (link->hooks_.dropped) {
            link->hooks_.dropped(topic, "消息有 " + std::to_string(size) + " 字节，超过上限 " +
                                            std::to_string(link->options_.maxIncomingBytes) + " 字节，已丢弃");
        }
        return;
    }
    if (!link->hooks_.message) return;
    const std::string payload =
        size == 0 ? std::string() : std::string(static_cast<const char*>(message->payload), size);
    link->hooks_.message(topic, payload, message->retain);
}

void MosquittoLink::Tell(bool connected, const std::string& why) {
    if (stopping_) return;
    if (told_ && toldConnected_ == connected && toldWhy_ == why) return;
    told_ = true;
    toldConnected_ = connected;
    toldWhy_ = why;
    if (hooks_.state) hooks_.state(connected, why);
}

}  // namespace lingchao
