#include "base/playback_watch.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace lingchao {
namespace {

using Status = NowPlaying::Status;

class PlaybackWatchTest : public ::testing::Test {
protected:
    PlaybackWatchTest() {
        auto fake = std::make_unique<test::FakePlayer>();
        player = fake.get();
        watch = std::make_unique<PlaybackWatch>(std::move(fake), "/app/music/null.dll");
        watch->SetListener([this](const NowPlaying& now) { seen.push_back(now); });
    }
    test::FakePlayer* player = nullptr;
    std::unique_ptr<PlaybackWatch> watch;
    std::vector<NowPlaying> seen;
};

TEST_F(PlaybackWatchTest, ABellIsNamedAfterItsJobAndList) {
    // The scheduler sets the music first and names the job after.
    watch->SetFileName("/app/music/课间.m3u");
    watch->NameJob("早操", "/app/music/课间.m3u");
    EXPECT_EQ(player->calls, (std::vector<std::string>{"FileName=/app/music/课间.m3u"}));
    EXPECT_EQ(watch->FileName(), "/app/music/课间.m3u");
    const NowPlaying& now = watch->now();
    EXPECT_EQ(now.status, Status::Playing);
    EXPECT_EQ(now.title, "早操");
    EXPECT_EQ(now.list, "课间");
    EXPECT_EQ(now.path, "/app/music/课间.m3u");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].title, "课间.m3u");

    // The run-job command names the job first: one change, already with its name.
    seen.clear();
    const int before = watch->now().serial;
    watch->NameJob("上课", "/app/music/上课铃.wav");
    EXPECT_TRUE(seen.empty());
    watch->SetFileName("/app/music/上课铃.wav");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "上课");
    EXPECT_EQ(seen[0].list, "");
    EXPECT_EQ(seen[0].serial, before + 1);  // a new medium for the desktop

    // A name given for other music is not used for the next medium.
    watch->NameJob("下课", "/app/music/下课铃.wav");
    watch->SetFileName("/app/music/其他.wav");
    EXPECT_EQ(watch->now().title, "其他.wav");
}

TEST_F(PlaybackWatchTest, FollowsPlayPauseStopAndTheEnd) {
    struct Step {
        const char* what;
        Status expected;
    };
    bool ended = false;
    watch->SetEndOfStreamHandler([this, &ended] {
        ended = true;
        watch->SetFileName("/app/music/null.dll");
    });
    // Nothing loaded: play and pause change nothing.
    watch->Play();
    watch->Pause();
    EXPECT_EQ(watch->now().status, Status::Stopped);
    EXPECT_TRUE(seen.empty());

    watch->SetFileName("/app/music/a.wav");
    const int serial = watch->now().serial;
    for (const Step& step : std::vector<Step>{{"Pause", Status::Paused},
                                              {"Pause", Status::Paused},
                                              {"Play", Status::Playing},
                                              {"Stop", Status::Stopped},
                                              {"Pause", Status::Stopped},
                                              {"Play", Status::Playing}}) {
        if (std::string(step.what) == "Play") watch->Play();
        if (std::string(step.what) == "Pause") watch->Pause();
        if (std::string(step.what) == "Stop") watch->Stop();
        EXPECT_EQ(player->calls.back(), step.what);
        EXPECT_EQ(watch->now().status, step.expected) << step.what;
        EXPECT_EQ(watch->now().serial, serial);
    }
    const std::size_t changes = seen.size();
    EXPECT_EQ(changes, 5u);  // the medium, then a change per step that changed something

    // The end of the medium: stopped, and the program's own handler still runs (it lets go of the file).
    player->endOfStream();
    EXPECT_TRUE(ended);
    EXPECT_EQ(watch->now().status, Status::Stopped);
    EXPECT_EQ(watch->now().path, "");
    EXPECT_EQ(watch->now().title, "");
    EXPECT_EQ(player->fileName, "/app/music/null.dll");
    // After the null media nothing can be resumed.
    watch->Play();
    EXPECT_EQ(watch->now().status, Status::Stopped);
}

TEST_F(PlaybackWatchTest, AFailedMediumCountsAsStopped) {
    watch->SetFileName("/app/music/a.wav");
    watch->PlaybackFailed("/app/music/other.wav");
    EXPECT_EQ(watch->now().status, Status::Playing);
    watch->PlaybackFailed("/app/music/a.wav");
    EXPECT_EQ(watch->now().status, Status::Stopped);
    EXPECT_EQ(watch->now().path, "/app/music/a.wav");
}

}  // namespace
}  // namespace lingchao
