// The campus service against a private Mosquitto on loopback: a main's files reach a follower byte for byte and
// only ever with higher versions, hostile messages leave the follower's timetable as it was, a standby sees its PC
// go and come back, and the cut-off warning comes after two minutes of an injected clock.

#include "campus/campus_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <fstream>

#include "campus/campus_apply.h"
#include "platform/mosquitto_link.h"
#include "support/fixture_bytes.h"
#include "support/private_broker.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;
using test::kMosquitto;
using test::PrivateBroker;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

bool WaitFor(const std::function<bool()>& done) {
    // Far beyond need: the machine may be loaded.
    for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

// The steady clock the service and its link read, moved on by the test.
struct ShiftedClock {
    std::shared_ptr<std::atomic<std::int64_t>> shiftMs = std::make_shared<std::atomic<std::int64_t>>(0);
    void Advance(std::chrono::milliseconds by) { *shiftMs += by.count(); }
    std::function<std::chrono::steady_clock::time_point()> Now() const {
        return
            [shift = shiftMs] { return std::chrono::steady_clock::now() + std::chrono::milliseconds(shift->load()); };
    }
};

Bytes Timetable(const std::vector<std::string>& names) {
    Bytes out;
    std::int16_t no = 0;
    for (const std::string& name : names) {
        const auto r = test::FixtureRecord({++no, name, "08:0" + std::to_string(no), "Everyday", "START", {}, {}});
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

Bytes Of(const std::string& text) { return {text.begin(), text.end()}; }

CampusSettings Settings(int port, CampusRole role, const QString& name, const QString& standbyFor = {}) {
    CampusSettings s;
    s.enabled = true;
    s.host = "127.0.0.1";
    s.port = port;
    s.campus = "一中";
    s.name = name;
    s.role = role;
    s.standbyFor = standbyFor;
    return s;
}

CampusService::Options Quick(const ShiftedClock& clock = {}) {
    CampusService::Options o;
    o.steadyNow = clock.Now();
    o.tick = 100ms;
    o.reconnectLast = 1s;
    return o;
}

std::unique_ptr<CampusService> Started(const TempFolder& app, CampusSettings settings, WarningBoard& warnings,
                                       CampusService::Hooks hooks = {}, CampusService::Options options = Quick()) {
    auto service = std::make_unique<CampusService>(app.path(), std::move(settings), warnings, std::move(hooks),
                                                   std::move(options));
    EXPECT_EQ(service->Start(), "");
    return service;
}

std::optional<CampusPeer> Row(const CampusService& service, const QString& name) {
    for (const CampusPeer& peer : service.View().peers) {
        if (peer.name == name) return peer;
    }
    return std::nullopt;
}

// A client of the test's own, as anyone on the network could be.
std::unique_ptr<MosquittoLink> RawClient(int port) {
    MosquittoLinkOptions o;
    o.port = port;
    o.clientId = "hostile";
    o.reconnectLast = 1s;
    auto link = std::make_unique<MosquittoLink>(o, MessageLink::Hooks{});
    std::string why;
    EXPECT_TRUE(link->Start(&why)) << why;
    EXPECT_TRUE(WaitFor([&] { return link->IsConnected(); }));
    return link;
}

void Send(MessageLink& link, const QString& topic, const QByteArray& payload, bool retained = false) {
    std::string why;
    EXPECT_TRUE(link.Publish(topic.toStdString(), payload.toStdString(), retained, &why)) << why;
}

class CampusServiceTest : public testing::Test {
protected:
    void SetUp() override {
        if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << kMosquitto << " is missing (apt-get install mosquitto)";
        ASSERT_TRUE(broker.Start());
    }
    PrivateBroker broker;
};

TEST_F(CampusServiceTest, TheMainsFilesReachAFollowerByteForByteAndOnlyFitOnesWithHigherVersionsGo) {
    TempFolder mainApp, followerApp;
    const Bytes calendar = Of("first_date,last_date,kind,argument,note\n2026-10-01,2026-10-07,holiday,,国庆\n");
    WriteAll(mainApp / "default.dll", Timetable({"ready", "class"}));
    WriteAll(mainApp / "calendar.csv", calendar);
    const Bytes own = Timetable({"follower's own"});
    WriteAll(followerApp / "default.dll", own);
    WarningBoard mainWarnings, followerWarnings;
    std::atomic<int> timetables{0}, calendars{0};
    CampusService::Hooks hooks;
    hooks.applied = [&](CampusFileKind kind) { ++(kind == CampusFileKind::Timetable ? timetables : calendars); };

    auto main = Started(mainApp, Settings(broker.port(), CampusRole::Main, "主控"), mainWarnings);
    auto follower =
        Started(followerApp, Settings(broker.port(), CampusRole::Follower, "教学楼A"), followerWarnings, hooks);
    const auto same = [&](const char* file) { return ReadAll(followerApp / file) == ReadAll(mainApp / file); };
    ASSERT_TRUE(WaitFor([&] { return same("default.dll") && same("calendar.csv"); }));
    EXPECT_TRUE(WaitFor([&] { return timetables == 1 && calendars == 1; }));
    // The follower's own timetable was kept before it was replaced.
    bool kept = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(followerApp / "backup")) {
        kept = kept || (entry.is_regular_file() && ReadAll(entry.path()) == own);
    }
    EXPECT_TRUE(kept);
    // Each PC lists the other, online and with nothing wrong.
    EXPECT_TRUE(WaitFor([&] {
        const auto row = Row(*follower, "主控");
        return row && row->online && row->problem.isEmpty() && Row(*main, "教学楼A");
    }));

    // A change on the main follows within a tick.
    WriteAll(mainApp / "default.dll", Timetable({"exam", "ready", "class"}));
    ASSERT_TRUE(WaitFor([&] { return same("default.dll"); }));

    // A timetable the main itself finds unfit stays there, with the reason on its clock.
    const Bytes sent = ReadAll(mainApp / "default.dll");
    WriteAll(mainApp / "default.dll", Of("not a timetable"));
    ASSERT_TRUE(WaitFor([&] { return mainWarnings.TextOf("campus-publish").find("不是任务表") != std::string::npos; }));

    // A main restored from a backup whose versions were far ahead still sends higher ones: the follower takes
    // them, the calendar's too, and nothing is refused.
    main.reset();
    const std::uint64_t ahead = 9'000'000'000'000'000;
    ASSERT_TRUE(WriteCampusState(mainApp.path(), {{}, {ahead, ahead}}));
    WriteAll(mainApp / "default.dll", Timetable({"restored"}));
    main = Started(mainApp, Settings(broker.port(), CampusRole::Main, "主控"), mainWarnings);
    ASSERT_TRUE(WaitFor([&] {
        const auto applied = ReadCampusApplied(followerApp.path());
        return applied && applied->timetable == ahead + 1 && applied->calendar == ahead + 1;
    }));
    EXPECT_TRUE(same("default.dll") && same("calendar.csv"));
    EXPECT_NE(ReadAll(followerApp / "default.dll"), sent);
    EXPECT_EQ(mainWarnings.TextOf("campus-publish"), "");
    EXPECT_EQ(followerWarnings.TextOf("campus-sync"), "");
    const auto state = ReadCampusState(mainApp.path());
    ASSERT_TRUE(state);
    EXPECT_EQ(state->published.timetable, ahead + 1);
}

TEST_F(CampusServiceTest, HostileTimetablesLeaveTheFollowersFileAsItWasUntilAGoodOneClearsTheWarning) {
    TempFolder app;
    const Bytes own = Timetable({"own"});
    WriteAll(app / "default.dll", own);
    ASSERT_TRUE(WriteCampusState(app.path(), {{5, 0}, {}}));
    WarningBoard warnings;
    std::atomic<int> applied{0};
    CampusService::Hooks hooks;
    hooks.applied = [&](CampusFileKind) { ++applied; };
    auto follower = Started(app, Settings(broker.port(), CampusRole::Follower, "教学楼A"), warnings, hooks);
    ASSERT_TRUE(WaitFor([&] { return follower->View().link.startsWith("已连接"); }));
    auto hostile = RawClient(broker.port());
    const QString topic = TimetableTopic("一中");
    const Bytes good = Timetable({"from the main"});
    const auto message = [&](std::uint64_t version) {
        return EncodeFileMessage({CampusFileKind::Timetable, version, good, "主控", QDateTime::currentDateTime()});
    };
    QJsonObject tampered = QJsonDocument::fromJson(message(7)).object();
    tampered["sha256"] = QString(64, u'0');

    const std::vector<std::pair<QByteArray, const char*>> cases = {
        {QJsonDocument(tampered).toJson(), "SHA-256"},
        {message(3), "不比已采用的版本 5 新"},
        {QByteArray("\x00\xff garbage", 10), "不是 JSON"},
        {QByteArray(3 * 1024 * 1024, '{'), "超过上限"},
    };
    for (const auto& hostileCase : cases) {
        const char* reason = hostileCase.second;
        Send(*hostile, topic, hostileCase.first);
        EXPECT_TRUE(WaitFor([&] { return warnings.TextOf("campus-sync").find(reason) != std::string::npos; }))
            << reason << ": " << warnings.TextOf("campus-sync");
        EXPECT_EQ(warnings.TextOf("campus-sync").rfind("校园同步被拒绝：default.dll：", 0), 0u);
        EXPECT_EQ(ReadAll(app / "default.dll"), own);
    }
    EXPECT_EQ(applied, 0);

    Send(*hostile, topic, message(7), true);
    ASSERT_TRUE(WaitFor([&] { return ReadAll(app / "default.dll") == good; }));
    EXPECT_TRUE(WaitFor([&] { return warnings.TextOf("campus-sync").empty(); }));

    // The broker hands its retained copy over again at every connect: no news, nothing refused. A retained
    // garbage calendar, subscribed to after the timetable, shows when it was handled.
    Send(*hostile, CalendarTopic("一中"), "garbage", true);
    follower.reset();
    follower = Started(app, Settings(broker.port(), CampusRole::Follower, "教学楼A"), warnings, hooks);
    ASSERT_TRUE(WaitFor([&] { return warnings.TextOf("campus-sync").find("calendar.csv") != std::string::npos; }));
    EXPECT_EQ(warnings.TextOf("campus-sync").find("default.dll"), std::string::npos);
    EXPECT_EQ(applied, 1);
}

TEST_F(CampusServiceTest, AStandbySeesItsPcGoAndComeBackAndEveryRowSaysWhatIsWrong) {
    TempFolder app;
    // This PC's last bell: the 08:00 one, late and silent; a drill's line after it is no bell.
    std::ofstream(app / "bell-log.csv")
        << "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome,sound_ms,peak_dbfs,output\n"
           "2026-12-07,07:50,2026-12-07 07:50:00.020,20,1,预备,/m/a.wav,fired,300,-6.0,cap 100%\n"
           "2026-12-07,08:00,2026-12-07 08:00:01.400,1400,2,上课,/m/b.wav,fired,1700,-inf,cap 100%\n"
           "2026-12-07,08:00,2026-12-07 08:00:01.400,1400,2,上课,/m/b.wav,silent: 输出静音\n"
           "2026-12-07,08:05,2026-12-07 08:05:00.000,,,演练,/m/c.wav,signal-start\n";
    WarningBoard warnings;
    ShiftedClock clock;
    std::mutex mutex;
    std::vector<std::pair<bool, QString>> takeOvers;
    std::vector<QString> rang;
    CampusService::Hooks hooks;
    hooks.takeOver = [&](bool take, const QString& pc) {
        const std::lock_guard lock(mutex);
        takeOvers.emplace_back(take, pc);
    };
    hooks.peerRang = [&](const QString& pc, const CampusLastBell& bell) {
        const std::lock_guard lock(mutex);
        rang.push_back(pc + ' ' + bell.date + ' ' + bell.time);
    };
    const auto last = [&] {
        const std::lock_guard lock(mutex);
        return takeOvers.empty() ? std::optional<std::pair<bool, QString>>() : takeOvers.back();
    };
    auto standby =
        Started(app, Settings(broker.port(), CampusRole::Standby, "备用机", "主控"), warnings, hooks, Quick(clock));
    ASSERT_TRUE(WaitFor([&] { return standby->View().link.startsWith("已连接"); }));
    const CampusView first = standby->View();
    EXPECT_EQ(first.role, "备用（主控）");
    ASSERT_FALSE(first.peers.empty());
    EXPECT_EQ(first.peers[0].name, "备用机");
    ASSERT_TRUE(first.peers[0].status && first.peers[0].status->lastBell);
    const CampusLastBell own = *first.peers[0].status->lastBell;
    EXPECT_EQ(own.date + ' ' + own.time + ' ' + own.outcome, "2026-12-07 08:00 silent: 输出静音");
    EXPECT_EQ(own.lateMs, 1400);
    EXPECT_TRUE(first.peers[0].problem.contains("没有声音")) << first.peers[0].problem.toStdString();

    auto other = RawClient(broker.port());
    CampusStatus main;
    main.pc = "主控";
    main.online = true;
    main.clockSynced = true;
    main.offsetMs = 80;
    main.lastBell = CampusLastBell{"08:00", "上课", "fired", 200, -3, "2026-12-07", 1500};
    main.sent = QDateTime::currentDateTime();
    Send(*other, StatusTopic("一中", "主控"), EncodeStatus(main), true);
    ASSERT_TRUE(WaitFor([&] { return Row(*standby, "主控").has_value(); }));
    const CampusPeer row = *Row(*standby, "主控");
    EXPECT_TRUE(row.online);
    EXPECT_TRUE(row.problem.contains("晚了 1.5 秒") && row.problem.contains("时钟偏差 80 毫秒"))
        << row.problem.toStdString();
    EXPECT_FALSE(last());

    // Its will: offline, what it said before still shown, but no take-over yet (a broker shutting down sends
    // every will). Another PC's status, handled after the will, shows the will was judged.
    CampusStatus will;
    will.pc = "主控";
    will.sent = QDateTime::currentDateTime();
    Send(*other, StatusTopic("一中", "主控"), EncodeStatus(will), true);
    CampusStatus third = main;
    third.pc = "教学楼C";
    Send(*other, StatusTopic("一中", "教学楼C"), EncodeStatus(third), true);
    ASSERT_TRUE(WaitFor([&] { return Row(*standby, "教学楼C").has_value(); }));
    const CampusPeer gone = *Row(*standby, "主控");
    EXPECT_FALSE(gone.online);
    EXPECT_TRUE(gone.problem.startsWith("离线"));
    EXPECT_TRUE(gone.status && gone.status->lastBell);
    EXPECT_FALSE(last());

    // 90 s since it last said it was up: the standby takes over; back up, it stands by at once.
    clock.Advance(91s);
    ASSERT_TRUE(WaitFor([&] { return last() == std::make_pair(true, QString("主控")); }));
    Send(*other, StatusTopic("一中", "主控"), EncodeStatus(main), true);
    ASSERT_TRUE(WaitFor([&] { return last() == std::make_pair(false, QString("主控")); }));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(rang, std::vector<QString>{"主控 2026-12-07 08:00"});
    EXPECT_EQ(takeOvers.size(), 2u);
}

// A campus drill: what the main sounds reaches a follower as it changes; an old word of a main that went during
// one is not followed.
TEST_F(CampusServiceTest, TheMainsSignalReachesAFollowerAndAStaleOneDoesNot) {
    TempFolder mainApp, followerApp;
    WarningBoard mainWarnings, followerWarnings;
    std::mutex mutex;
    CampusSignal sounding;  // what the main's bell sounds
    std::vector<std::string> heard;
    CampusService::Hooks mainHooks, followerHooks;
    mainHooks.signalNow = [&] {
        const std::lock_guard lock(mutex);
        return sounding;
    };
    followerHooks.mainSignal = [&](const CampusSignal& s) {
        const std::lock_guard lock(mutex);
        heard.push_back(s.running ? s.from.toStdString() + " " + s.signal.toStdString() + " " + std::to_string(s.step) +
                                        (s.ending ? " ending" : "")
                                  : "none");
    };
    const auto last = [&] {
        const std::lock_guard lock(mutex);
        return heard.empty() ? std::string() : heard.back();
    };
    const auto sound = [&](bool running, int step, bool ending) {
        const std::lock_guard lock(mutex);
        sounding = CampusSignal{running, running ? "地震演练" : "", step, 3, ending, {}, {}};
    };

    // A main that went during a drill left its last word retained, ten minutes ago.
    auto hostile = RawClient(broker.port());
    Send(*hostile, SignalTopic("一中"),
         EncodeSignal({true, "防空警报", 1, 2, false, "主控", QDateTime::currentDateTime().addSecs(-600)}), true);
    auto follower =
        Started(followerApp, Settings(broker.port(), CampusRole::Follower, "教学楼A"), followerWarnings, followerHooks);
    auto main = Started(mainApp, Settings(broker.port(), CampusRole::Main, "主控"), mainWarnings, mainHooks);
    ASSERT_TRUE(WaitFor([&] { return last() == "none"; })) << "the main says at connect that none sounds";
    sound(true, 1, false);
    ASSERT_TRUE(WaitFor([&] { return last() == "主控 地震演练 1"; }));
    sound(true, 2, false);
    ASSERT_TRUE(WaitFor([&] { return last() == "主控 地震演练 2"; }));
    sound(true, 2, true);
    ASSERT_TRUE(WaitFor([&] { return last() == "主控 地震演练 2 ending"; }));
    sound(false, 0, false);
    ASSERT_TRUE(WaitFor([&] { return last() == "none"; }));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), std::string("主控 防空警报 1")), 0);
}

TEST(CampusCutOff, WarnsAfterTwoMinutesOnAnInjectedClockAndClearsWhenTheBrokerAnswers) {
    if (access(kMosquitto, X_OK) != 0) GTEST_SKIP() << kMosquitto << " is missing (apt-get install mosquitto)";
    PrivateBroker broker;  // its port is kept free until it starts
    TempFolder app;
    WarningBoard warnings;
    ShiftedClock clock;
    auto follower = Started(app, Settings(broker.port(), CampusRole::Follower, "教学楼A"), warnings, {}, Quick(clock));
    ASSERT_TRUE(WaitFor([&] { return follower->View().link.contains("断开"); }));
    clock.Advance(110s);
    ASSERT_TRUE(WaitFor([&] { return follower->View().link.contains("断开 1 分钟"); }));
    EXPECT_EQ(warnings.TextOf("campus"), "");
    clock.Advance(15s);
    ASSERT_TRUE(WaitFor([&] { return !warnings.TextOf("campus").empty(); }));
    const std::string text = warnings.TextOf("campus");
    EXPECT_EQ(text.rfind("与校园服务器 127.0.0.1:" + std::to_string(broker.port()) + " 断开已 2 分钟：", 0), 0u)
        << text;
    EXPECT_NE(text.find("无法连接服务器"), std::string::npos) << text;

    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitFor([&] { return warnings.TextOf("campus").empty(); }));
    EXPECT_TRUE(follower->View().link.startsWith("已连接"));
}

TEST(CampusFromSettings, OffStartsNothingAndABadValueIsOnTheClockInsteadOfAGuess) {
    TempFolder app;
    WarningBoard warnings;
    EXPECT_EQ(StartCampus(app.path(), warnings, {}), nullptr);
    EXPECT_TRUE(warnings.Empty());
    std::ofstream(app / "lingchao.ini") << "[campus]\nenabled=true\nbroker=127.0.0.1:99999\ncampus=一中\nname=a/b\n"
                                           "role=follower\n";
    EXPECT_EQ(StartCampus(app.path(), warnings, {}), nullptr);
    const std::string text = warnings.TextOf("campus");
    EXPECT_EQ(text.rfind("校园设置有误，没有连接校园服务器：", 0), 0u) << text;
    EXPECT_NE(text.find("broker"), std::string::npos) << text;
    EXPECT_NE(text.find("name"), std::string::npos) << text;
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
