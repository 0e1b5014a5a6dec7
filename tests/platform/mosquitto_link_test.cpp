#include "platform/mosquitto_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/temp_folder.h"

extern char** environ;

namespace lingchao {
namespace {

using namespace std::chrono_literals;
constexpr const char* kBroker = "/usr/sbin/mosquitto";

bool WaitFor(const std::function<bool()>& done) {
    // Far beyond need: the machine may be loaded.
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    close(fd);
    return bound ? ntohs(addr.sin_port) : 0;
}

// A Mosquitto of the test's own on 127.0.0.1, a port no one uses, no persistence; `extra` ends its config.
class PrivateBroker final {
public:
    std::string extra = "allow_anonymous true\n";

    ~PrivateBroker() { Stop(); }
    bool Start() {
        const std::string conf = (temp_ / "mosquitto.conf").string();
        const passwd* user = getpwuid(geteuid());  // as root it would drop to the user mosquitto
        std::ofstream(conf) << "listener " << port_ << " 127.0.0.1\npersistence false\nuser "
                            << (user != nullptr ? user->pw_name : "root") << "\nlog_dest file "
                            << (temp_ / "broker.log").string() << "\n"
                            << extra;
        char* argv[] = {const_cast<char*>(kBroker), const_cast<char*>("-c"), const_cast<char*>(conf.c_str()), nullptr};
        if (posix_spawn(&pid_, kBroker, nullptr, nullptr, argv, environ) != 0) return false;
        // Up once it says so in its log (which every start adds to); a broker that refused its config ends.
        const int started = ++starts_;
        bool ended = false;
        WaitFor([&] {
            return (ended = ended || waitpid(pid_, nullptr, WNOHANG) == pid_) || LogLines(" running") == started;
        });
        if (ended) pid_ = -1;
        return !ended && LogLines(" running") == started;
    }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    MosquittoLinkOptions Options(const std::string& clientId) const {
        MosquittoLinkOptions options;
        options.port = port_;
        options.clientId = clientId;
        options.reconnectLast = 2s;
        return options;
    }
    const test::TempFolder& folder() const { return temp_; }
    int LogLines(const std::string& part) const {
        std::ifstream log(temp_ / "broker.log");
        int count = 0;
        for (std::string line; std::getline(log, line);) count += line.find(part) != std::string::npos ? 1 : 0;
        return count;
    }

private:
    test::TempFolder temp_;
    int port_ = FreePort();
    int starts_ = 0;
    pid_t pid_ = -1;
};

// What a link's hooks told, from its network thread, as lines: "topic=payload" (after "retained " for a retained
// one), "up", "down: why", "dropped topic: why".
class Heard final {
public:
    MessageLink::Hooks Hooks() {
        return {[this](const std::string& topic, const std::string& payload, bool retained) {
                    Add((retained ? "retained " : "") + topic + "=" + payload);
                },
                [this](bool connected, const std::string& why) { Add(connected ? "up" : "down: " + why); },
                [this](const std::string& topic, const std::string& why) { Add("dropped " + topic + ": " + why); }};
    }
    // The last line that begins with `start`; "" when none.
    std::string Last(const std::string& start) {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(lines_.rbegin(), lines_.rend(), [&](auto& line) { return line.starts_with(start); });
        return it == lines_.rend() ? "" : *it;
    }
    bool Has(const std::string& start) { return !Last(start).empty(); }
    long Count(const std::string& start) {
        std::lock_guard lock(mutex_);
        return std::count_if(lines_.begin(), lines_.end(), [&](auto& line) { return line.starts_with(start); });
    }

private:
    void Add(const std::string& line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

[[nodiscard]] std::unique_ptr<MosquittoLink> Connected(MosquittoLinkOptions options, Heard& heard,
                                                       const std::string& filter = "") {
    auto link = std::make_unique<MosquittoLink>(std::move(options), heard.Hooks());
    std::string why;
    if (!filter.empty()) {
        EXPECT_TRUE(link->Subscribe(filter, &why)) << why;
    }
    EXPECT_TRUE(link->Start(&why)) << why;
    EXPECT_TRUE(WaitFor([&] { return link->IsConnected(); })) << heard.Last("down");
    return link;
}

class MosquittoLinkTest : public testing::Test {
protected:
    void SetUp() override {
        if (access(kBroker, X_OK) != 0) GTEST_SKIP() << kBroker << " is missing (apt-get install mosquitto)";
    }
};

TEST_F(MosquittoLinkTest, RetainedQueuedAndOversizedMessagesReachALaterClientAsTheyShould) {
    PrivateBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.folder().path();
    Heard a;
    auto pcA = Connected(broker.Options("pc-a"), a, "campus/#");
    std::string why;
    ASSERT_TRUE(pcA->Publish("campus/timetable", "v1", true, &why)) << why;
    EXPECT_FALSE(pcA->Publish("campus/#", "x", false, &why));
    ASSERT_TRUE(WaitFor([&] { return a.Has("campus/timetable=v1"); }));  // the broker holds it now

    Heard b;
    auto bOptions = broker.Options("pc-b");
    bOptions.maxIncomingBytes = 100;
    auto pcB = Connected(bOptions, b, "campus/#");
    EXPECT_TRUE(WaitFor([&] { return b.Has("retained campus/timetable=v1"); }));
    pcB.reset();  // away, its session kept

    ASSERT_TRUE(pcA->Publish("campus/notice", "while B was away", false, &why));
    ASSERT_TRUE(pcA->Publish("campus/big", std::string(101, 'x'), false, &why));
    ASSERT_TRUE(pcA->Publish("campus/after", "small", false, &why));
    ASSERT_TRUE(WaitFor([&] { return a.Has("campus/after=small"); }));
    Heard b2;
    pcB = Connected(bOptions, b2, "campus/#");
    ASSERT_TRUE(WaitFor([&] { return b2.Has("campus/after=small"); }));
    EXPECT_TRUE(b2.Has("campus/notice=while B was away"));
    EXPECT_FALSE(b2.Has("campus/big="));
    EXPECT_EQ(b2.Count("dropped campus/big: "), 1);
    EXPECT_NE(b2.Last("dropped").find("101"), std::string::npos) << b2.Last("dropped");
}

TEST_F(MosquittoLinkTest, AKilledPcLeavesItsLastWillAndALinkClosedInOrderLeavesNone) {
    PrivateBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.folder().path();
    auto withWill = [&](const std::string& id) {
        auto options = broker.Options(id);
        options.willTopic = "campus/" + id + "/online";
        options.willPayload = "offline";
        return options;
    };
    // Forked before this process has a link (so no thread): the child only connects and waits to be killed.
    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        Heard heard;
        MosquittoLink link(withWill("pc-c"), heard.Hooks());
        if (link.Start(nullptr)) pause();
        _exit(1);
    }
    // Killed on every way out of the test, or it would outlive it holding the test's output open.
    struct Reap {
        pid_t pid;
        ~Reap() {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reap{child};
    ASSERT_TRUE(WaitFor([&] { return broker.LogLines(" as pc-c ") == 1; })) << broker.folder().path();

    Heard watch;
    auto watcher = Connected(broker.Options("watch"), watch, "campus/#");
    Heard d;
    Connected(withWill("pc-d"), d).reset();
    std::string why;
    ASSERT_TRUE(watcher->Publish("campus/marker", "after D", false, &why));
    ASSERT_TRUE(WaitFor([&] { return watch.Has("campus/marker=after D"); }));
    kill(child, SIGKILL);
    // Live to a subscriber, so not marked retained; kept retained for the PCs that come later.
    EXPECT_TRUE(WaitFor([&] { return watch.Has("campus/pc-c/online=offline"); }));
    EXPECT_FALSE(watch.Has("campus/pc-d/online") || watch.Has("retained campus/pc-d/online"));
    Heard later;
    auto pcLater = Connected(broker.Options("later"), later, "campus/+/online");
    EXPECT_TRUE(WaitFor([&] { return later.Has("retained campus/pc-c/online=offline"); }));
}

TEST_F(MosquittoLinkTest, ABrokerDownAtStartOrRestartedIsReconnectedToAndSubscribedAgainWithTheTimeCutOffKept) {
    PrivateBroker broker;
    std::atomic<std::int64_t> seconds{1000};
    auto options = broker.Options("pc-e");
    options.now = [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(seconds.load())); };
    Heard e;
    MosquittoLink pcE(options, e.Hooks());
    std::string why;
    ASSERT_TRUE(pcE.Subscribe("campus/#", &why));
    ASSERT_TRUE(pcE.Start(&why)) << why;
    ASSERT_TRUE(WaitFor([&] { return e.Has("down"); }));
    EXPECT_NE(e.Last("down").find("Connection refused"), std::string::npos) << e.Last("down");
    seconds += 30;
    EXPECT_EQ(pcE.CutOffFor(), 30s);

    ASSERT_TRUE(broker.Start()) << broker.folder().path();
    ASSERT_TRUE(WaitFor([&] { return pcE.IsConnected(); })) << e.Last("down");
    EXPECT_EQ(pcE.CutOffFor(), 0s);
    Heard f;
    auto pcF = Connected(broker.Options("pc-f"), f);
    ASSERT_TRUE(pcF->Publish("campus/first", "1", false, &why));
    EXPECT_TRUE(WaitFor([&] { return e.Has("campus/first=1"); }));

    broker.Stop();
    ASSERT_TRUE(WaitFor([&] { return e.Last("down").find("断开") != std::string::npos; })) << e.Last("down");
    EXPECT_FALSE(pcE.IsConnected());
    seconds += 150;
    EXPECT_EQ(pcE.CutOffFor(), 150s);
    // Queued while the broker is away; the restarted broker knows no session nor subscription.
    ASSERT_TRUE(pcF->Publish("campus/queued", "2", true, &why)) << why;
    ASSERT_TRUE(broker.Start()) << broker.folder().path();
    EXPECT_TRUE(WaitFor([&] { return e.Has("campus/queued=2") || e.Has("retained campus/queued=2"); }));
    ASSERT_TRUE(WaitFor([&] { return pcF->IsConnected(); }));
    ASSERT_TRUE(pcF->Publish("campus/new", "3", false, &why));
    EXPECT_TRUE(WaitFor([&] { return e.Has("campus/new=3"); }));
}

TEST_F(MosquittoLinkTest, AWrongPasswordIsARefusalToldOnceAndTheRightOneConnects) {
    PrivateBroker broker;
    const std::string passwd = (broker.folder() / "passwd").string();
    ASSERT_EQ(std::system(("mosquitto_passwd -c -b " + passwd + " office s3cret >/dev/null").c_str()), 0);
    broker.extra = "allow_anonymous false\npassword_file " + passwd + "\n";
    ASSERT_TRUE(broker.Start()) << broker.folder().path();

    auto options = broker.Options("pc-g");
    options.userName = "office";
    options.password = "wrong";
    Heard g;
    MosquittoLink pcG(options, g.Hooks());
    std::string why;
    ASSERT_TRUE(pcG.Start(&why)) << why;
    ASSERT_TRUE(WaitFor([&] { return g.Has("down"); }));
    EXPECT_NE(g.Last("down").find("not authorised"), std::string::npos) << g.Last("down");
    // Once the third attempt began, the link has heard the second refusal too: still told once.
    ASSERT_TRUE(WaitFor([&] { return broker.LogLines("not authorised") >= 3; }));
    EXPECT_EQ(g.Count(""), 1);
    EXPECT_FALSE(pcG.IsConnected());

    options.clientId = "pc-h";
    options.password = "s3cret";
    Heard h;
    EXPECT_TRUE(Connected(options, h)->IsConnected());
}

}  // namespace
}  // namespace lingchao
