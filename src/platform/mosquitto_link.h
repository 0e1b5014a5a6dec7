#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace lingchao {

// A link to the campus broker: publishes and subscriptions, both at QoS 1. Nothing here waits on the network:
// Publish and Subscribe hand their packet over and return; the hooks come on the link's own network thread, one at
// a time, so a user on a Qt thread posts them onward as queued calls. A hook may call Publish or Subscribe, must
// not block for long, and must not destroy the link. No hook is called once the link's destruction has begun.
class MessageLink {
public:
    struct Hooks {
        // A message whose subscription matched; `payload` is bytes, not necessarily text.
        std::function<void(const std::string& topic, const std::string& payload, bool retained)> message;
        // The link came up (`why` empty) or went down or was refused (`why` says so). The same state with the same
        // reason is told once, however often a reconnect fails alike.
        std::function<void(bool connected, const std::string& why)> state;
        // A message that arrived but was not passed on, and why.
        std::function<void(const std::string& topic, const std::string& why)> dropped;
    };

    virtual ~MessageLink() = default;

    // Starts connecting and keeps reconnecting until destroyed. False, with the reason, on options it cannot use
    // (a missing certificate file, an empty client id).
    virtual bool Start(std::string* why) = 0;
    // Queued for sending at QoS 1, held while the broker is away and sent once it is back. False, with the reason,
    // only before Start or when it can never be sent (a topic with wildcards, a payload beyond MQTT's size).
    virtual bool Publish(const std::string& topic, const std::string& payload, bool retained, std::string* why) = 0;
    // Subscribes now if connected, and again on every reconnect. False on a malformed topic filter.
    virtual bool Subscribe(const std::string& filter, std::string* why) = 0;
    virtual bool IsConnected() const = 0;
    // Zero while connected; else how long since it last was (since Start when it never was).
    virtual std::chrono::steady_clock::duration CutOffFor() const = 0;
};

struct MosquittoLinkOptions {
    std::string host = "127.0.0.1";
    int port = 1883;
    // Unique per PC and the same at every start: with it the broker keeps this PC's session (clean session off),
    // so QoS 1 messages sent while it was away reach it when it comes back.
    std::string clientId;
    int keepAliveSeconds = 30;
    std::string userName;  // none when empty
    std::string password;
    // TLS when caFile is set; the client certificate and key are optional (both or neither).
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    // The last will, published by the broker when this PC goes without saying goodbye; none when the topic is
    // empty. Sent at QoS 1.
    std::string willTopic;
    std::string willPayload;
    bool willRetained = true;
    // Wait before reconnecting, doubling from the first to the last after each failure.
    std::chrono::seconds reconnectFirst{1};
    std::chrono::seconds reconnectLast{60};
    // Larger messages are dropped with a reason instead of being passed on. The library has already read such a
    // message whole, so the broker's own limit (message_size_limit, or max_packet_size) must be set too: only that
    // keeps a huge message off the PCs.
    std::size_t maxIncomingBytes = 256 * 1024;
    // For CutOffFor; a test puts its own clock here.
    std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
};

// MessageLink over libmosquitto (MQTT 3.1.1). The network runs on a thread of the link's own, driving
// mosquitto_loop and the reconnects itself: libmosquitto's own thread (mosquitto_loop_start) never connects when the
// broker is down at the first attempt, stops for good after a TLS or name-lookup failure, and cannot be stopped
// during its backoff sleep without cancelling the thread.
class MosquittoLink final : public MessageLink {
public:
    MosquittoLink(MosquittoLinkOptions options, Hooks hooks);
    // Says goodbye to the broker (so no will is published) after what is queued, and joins the thread.
    ~MosquittoLink() override;
    MosquittoLink(const MosquittoLink&) = delete;
    MosquittoLink& operator=(const MosquittoLink&) = delete;

    bool Start(std::string* why) override;
    bool Publish(const std::string& topic, const std::string& payload, bool retained, std::string* why) override;
    bool Subscribe(const std::string& filter, std::string* why) override;
    bool IsConnected() const override { return connected_; }
    std::chrono::steady_clock::duration CutOffFor() const override;

private:
    static void OnConnect(mosquitto* mosq, void* self, int rc);
    static void OnDisconnect(mosquitto* mosq, void* self, int rc);
    static void OnMessage(mosquitto* mosq, void* self, const mosquitto_message* message);
    void Run();
    void Tell(bool connected, const std::string& why);

    const MosquittoLinkOptions options_;
    const Hooks hooks_;
    mosquitto* mosq_ = nullptr;
    std::thread thread_;
    std::atomic<bool> connected_{false};
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::condition_variable wake_;  // ends a backoff wait at destruction
    std::vector<std::string> filters_;
    std::chrono::steady_clock::time_point lastConnected_;
    // Only the network thread touches these.
    bool attemptTold_ = false;    // this connection attempt's end has been told
    bool reachedBroker_ = false;  // this attempt got as far as being connected
    bool told_ = false;           // the state hook has heard toldConnected_ / toldWhy_
    bool toldConnected_ = false;
    std::string toldWhy_;
};

}  // namespace lingchao
