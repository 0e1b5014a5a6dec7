#include "bell/self_check_runner.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <thread>

#include "player/gst_media_probe.h"
#include "player/music_list.h"
#include "support/fakes.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Turns the event loop until `done` holds or `limit` has passed; whether it holds.
bool TurnEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s) {
    const auto until = Clock::now() + limit;
    while (!done() && Clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return done();
}
const auto never = [] { return false; };

// `jobs` started jobs, all ringing `music` every day.
void WriteGroup(const std::filesystem::path& file, int jobs, const std::string& music) {
    std::vector<std::uint8_t> bytes;
    for (int k = 1; k <= jobs; ++k) {
        const auto r = test::FixtureRecord(
            {static_cast<std::int16_t>(k), "J" + std::to_string(k), "08:00", "Everyday", "START", {music}, {}});
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    test::WriteAll(file, bytes);
}

// A fifth of a second of a square wave, 8 kHz mono 16-bit PCM: small, and decodes anywhere.
void WriteTone(const std::filesystem::path& file) {
    std::string b = "RIFF";
    auto le = [&b](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
    };
    le(36 + 3200, 4);
    b += "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(8000, 4), le(16000, 4), le(2, 2), le(16, 2);
    b += "data";
    le(3200, 4);
    for (int i = 0; i < 1600; ++i) le(i / 9 % 2 == 0 ? 0x2000 : 0xE000, 2);
    test::WriteAll(file, std::vector<std::uint8_t>(b.begin(), b.end()));
}

class SelfCheckRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteGroup(group, 60, list);
        fake->bad[list] = "文件不存在";
    }
    std::unique_ptr<SelfCheckRunner> MakeRunner(std::unique_ptr<MediaProbe> checker) {
        return std::make_unique<SelfCheckRunner>(group, clock, std::move(checker),
                                                 [this](const std::vector<MusicProblem>& p) { reports.push_back(p); });
    }

    test::TempFolder dir;
    std::filesystem::path group = dir / "default.dll";
    std::string list = (dir / "old.m3u").string();
    test::FakeClock clock{{2026, 12, 7}, {8, 0, 0}};
    std::unique_ptr<test::FakeProbe> probe = std::make_unique<test::FakeProbe>();
    test::FakeProbe* fake = probe.get();
    std::vector<std::vector<MusicProblem>> reports;
};

TEST_F(SelfCheckRunnerTest, RequestsDuringAPassFoldIntoOneMoreAndEachPassAsksOnce) {
    fake->blocked = true;
    auto runner = MakeRunner(std::move(probe));
    runner->Request();
    ASSERT_TRUE(TurnEventsUntil([&] { return fake->passes == 1; }));
    runner->Request();
    runner->Request();
    runner->Request();
    fake->blocked = false;
    ASSERT_TRUE(TurnEventsUntil([&] { return reports.size() == 2; }));
    TurnEventsUntil(never, 300ms);  // room for a third pass that must not come
    EXPECT_EQ(fake->passes, 2);
    EXPECT_EQ(fake->Asked(), (std::vector<std::string>{list, list}));
    ASSERT_EQ(reports.size(), 2u);
    ASSERT_EQ(reports[0].size(), 60u);
    EXPECT_EQ(reports[0][59].jobNo, 60);
    EXPECT_EQ(reports[0][59].reason, "文件不存在");
}

// The program's end while a check would still take minutes: it does not wait for it, and nothing is reported.
TEST_F(SelfCheckRunnerTest, EndingDuringALongPassIsPromptAndReportsNothing) {
    for (const bool cancelFirst : {false, true}) {
        SCOPED_TRACE(cancelFirst ? "Cancel, then destroy" : "destroy");
        probe = std::make_unique<test::FakeProbe>();
        fake = probe.get();
        fake->blocked = true;
        auto runner = MakeRunner(std::move(probe));
        runner->Request();
        ASSERT_TRUE(TurnEventsUntil([&] { return fake->passes == 1; }));
        if (cancelFirst) {
            runner->Cancel();
            TurnEventsUntil(never, 300ms);  // the cancelled pass comes back and is dropped
            runner->Request();              // too late: no new pass
            EXPECT_EQ(fake->passes, 1);
        }
        const auto start = Clock::now();
        runner.reset();
        EXPECT_LT(Clock::now() - start, 5s);
        TurnEventsUntil(never, 100ms);
        EXPECT_TRUE(reports.empty());
    }
}

// The real probe over sixty jobs that ring one long list of files left behind on an old computer.
TEST_F(SelfCheckRunnerTest, TheRealProbeNamesTheFirstMissingEntriesOfEachJob) {
    std::vector<std::string> entries{"tone.wav"};
    for (int i = 0; i < 300; ++i) entries.push_back("D:\\old\\gone" + std::to_string(i) + ".wav");
    WriteTone(dir / "tone.wav");
    ASSERT_TRUE(WriteMusicList(list, entries));
    auto runner = MakeRunner(std::make_unique<GstMediaProbe>());
    runner->Request();
    ASSERT_TRUE(TurnEventsUntil([&] { return reports.size() == 1; }));
    ASSERT_EQ(reports[0].size(), 60u * 11);  // ten entries named and the rest counted, for each job
    for (std::size_t i = 0; i < reports[0].size(); i += 11) {
        EXPECT_EQ(reports[0][i].jobNo, static_cast<int>(i / 11) + 1);
        EXPECT_EQ(reports[0][i].path, "D:\\old\\gone0.wav");
        EXPECT_EQ(reports[0][i + 10].reason, "另有 290 条无法播放");
    }
}

// A pass decoding a full list of real files (about ten seconds here) stops within a fraction of one after a cancel.
TEST(GstMediaProbeCancel, ACancelStopsAPassThatIsDecoding) {
    test::TempFolder dir;
    WriteTone(dir / "0.wav");
    std::vector<std::string> entries{"0.wav"};
    for (std::size_t i = 1; i < kMaxMusicListEntries; ++i) {
        entries.push_back(std::to_string(i) + ".wav");
        std::filesystem::create_hard_link(dir / "0.wav", dir / entries.back());  // each path decodes on its own
    }
    const std::string list = (dir / "all.m3u").string();
    ASSERT_TRUE(WriteMusicList(list, entries));
    GstMediaProbe probe;
    CancelToken cancel;
    std::optional<MediaProbe::Findings> findings{MediaProbe::Findings{}};
    std::thread pass([&] { findings = probe.CheckAll({list}, cancel); });
    // Into the list: a file of it is open for decoding (seen among this process's descriptors).
    const auto decoding = [&] {
        std::error_code error;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
            const auto target = std::filesystem::read_symlink(fd.path(), error);
            if (!error && target.parent_path() == dir.path() && target.extension() == ".wav") return true;
        }
        return false;
    };
    const auto deadline = Clock::now() + 60s;
    bool seen = false;
    while (!(seen = decoding()) && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    const auto start = Clock::now();
    cancel.Cancel();
    pass.join();
    ASSERT_TRUE(seen) << "the pass never opened a file of the list";
    // The pass ended unfinished (nullopt); a bound far above the program's own fraction of a second, which a
    // loaded machine under the sanitizers can take several times over.
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_FALSE(findings.has_value());
    // The probe is still good for the next pass.
    EXPECT_TRUE(probe.Check((dir / "1.wav").string()).empty());
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
