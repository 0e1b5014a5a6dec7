#include "platform/mosquitto_link.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/private_broker.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;
using test::kMosquitto;
using test::PrivateBroker;

bool WaitFor(const std::function<bool()>& done) {
    // Far beyond need: the machine may be loaded.
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

// A link's options for the test's broker: reconnecting within 2 s.
MosquittoLinkOptions Options(const test::PrivateBroker& broker, const std::string& clientId) {
    MosquittoLinkOptions options;
    options.port = broker.port();
    options.clientId = clientId;
    options.reconnectLast = 2s;
    return options;
}

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
        if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << kMosquitto << " is missing (apt-get install mosquitto)";
    }
};

TEST_F(MosquittoLinkTest, RetainedQueuedAndOversizedMessagesReachALaterClientAsTheyShould) {
    PrivateBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.folder().path();
    Heard a;
    auto pcA = Connected(Options(broker, "pc-a"), a, "campus/#");
    std::string why;
    ASSERT_TRUE(pcA->Publish("campus/timetable", "v1", true, &why)) << why;
    EXPECT_FALSE(pcA->Publish("campus/#", "x", false, &why));
    ASSERT_TRUE(WaitFor([&] { return a.Has("campus/timetable=v1"); }));  // the broker holds it now

    Heard b;
    auto bOptions = Options(broker, "pc-b");
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
        auto options = Options(broker, id);
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
    auto watcher = Connected(Options(broker, "watch"), watch, "campus/#");
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
    auto pcLater = Connected(Options(broker, "later"), later, "campus/+/online");
    EXPECT_TRUE(WaitFor([&] { return later.Has("retained campus/pc-c/online=offline"); }));
}

TEST_F(MosquittoLinkTest, ABrokerDownAtStartOrRestartedIsReconnectedToAndSubscribedAgainWithTheTimeCutOffKept) {
    PrivateBroker broker;
    std::atomic<std::int64_t> seconds{1000};
    auto options = Options(broker, "pc-e");
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
    auto pcF = Connected(Options(broker, "pc-f"), f);
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

    auto options = Options(broker, "pc-g");
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
