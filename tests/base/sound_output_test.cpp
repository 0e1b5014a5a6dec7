#include "base/sound_output.h"

#include <gtest/gtest.h>

namespace lingchao {
namespace {

SoundOutputState Healthy() {
    SoundOutputState s;
    s.server = true;
    s.sinkName = "alsa_output.pci-0000_00_1f.3.analog-stereo";
    s.description = "Built-in Audio Analog Stereo";
    s.volumePercent = 60;
    return s;
}

struct Row {
    const char* name;
    SoundOutputState state;
    const char* warning;
    const char* column;
};

class SoundOutputRows : public ::testing::TestWithParam<Row> {};

TEST_P(SoundOutputRows, WarnsOfWhatKeepsABellFromBeingHeard) {
    EXPECT_EQ(SoundOutputWarning(GetParam().state), GetParam().warning);
    EXPECT_EQ(SoundOutputText(GetParam().state), GetParam().column);
}

SoundOutputState With(void (*change)(SoundOutputState&)) {
    SoundOutputState s = Healthy();
    change(s);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    States, SoundOutputRows,
    ::testing::Values(Row{"Healthy", Healthy(), "", "alsa_output.pci-0000_00_1f.3.analog-stereo 60%"},
                      Row{"NoServer", SoundOutputState{}, "没有声音输出", ""},
                      Row{"NoSink", With([](SoundOutputState& s) { s.sinkName.clear(); }), "没有声音输出", ""},
                      Row{"DummyOutput", With([](SoundOutputState& s) { s.sinkName = "auto_null"; }), "没有声音输出",
                          "auto_null 60%"},
                      Row{"Muted", With([](SoundOutputState& s) { s.muted = true; }), "声音已静音",
                          "alsa_output.pci-0000_00_1f.3.analog-stereo 60% muted"},
                      Row{"Low", With([](SoundOutputState& s) { s.volumePercent = 5; }), "音量过低：5%",
                          "alsa_output.pci-0000_00_1f.3.analog-stereo 5%"},
                      Row{"TenIsEnough", With([](SoundOutputState& s) { s.volumePercent = 10; }), "",
                          "alsa_output.pci-0000_00_1f.3.analog-stereo 10%"},
                      Row{"Unplugged", With([](SoundOutputState& s) { s.portUnavailable = true; }), "音箱未连接",
                          "alsa_output.pci-0000_00_1f.3.analog-stereo 60%"},
                      Row{"MutedAndLow", With([](SoundOutputState& s) {
                              s.muted = true;
                              s.volumePercent = 0;
                          }),
                          "声音已静音；音量过低：0%", "alsa_output.pci-0000_00_1f.3.analog-stereo 0% muted"}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

TEST(JudgeSilence, AHeardBellAndEachReasonNobodyHeardIt) {
    SoundProof heard;
    heard.requested = SoundProof::Time(std::chrono::seconds(100));
    heard.soundStart = heard.requested + std::chrono::milliseconds(40);
    heard.peakDbfs = -6.0;
    heard.measuredSeconds = 10;
    heard.output = "cap";
    heard.realOutput = true;
    SoundOutputState output = Healthy();
    EXPECT_EQ(JudgeSilence(heard, &output).reason, "");
    EXPECT_EQ(JudgeSilence(heard, nullptr).reason, "");

    const auto reason = [&](void (*spoil)(SoundProof&, SoundOutputState&)) {
        SoundProof p = heard;
        SoundOutputState o = output;
        spoil(p, o);
        const Silence s = JudgeSilence(p, &o);
        EXPECT_FALSE(s.text.empty());
        return s.reason;
    };
    EXPECT_EQ(reason([](SoundProof& p, SoundOutputState&) { p.problem = "no such file"; }), "not played: no such file");
    EXPECT_EQ(reason([](SoundProof& p, SoundOutputState&) {
                  p.realOutput = false;
                  p.output = "fakesink";
              }),
              "no sound output: played into fakesink");
    EXPECT_EQ(reason([](SoundProof& p, SoundOutputState&) { p.soundStart.reset(); }),
              "no sound reached the output within 2 s");
    EXPECT_EQ(
        reason([](SoundProof& p, SoundOutputState&) { p.soundStart = p.requested + std::chrono::milliseconds(2300); }),
        "the sound reached the output only after 2300 ms");
    EXPECT_EQ(reason([](SoundProof& p, SoundOutputState&) { p.peakDbfs = -50.5; }),
              "peak -50.5 dBFS is under -50 dBFS");
    EXPECT_EQ(reason([](SoundProof&, SoundOutputState& o) { o.muted = true; }), "the output is muted");
    EXPECT_EQ(reason([](SoundProof&, SoundOutputState& o) { o.volumePercent = 0; }), "the output's volume is 0%");
}

}  // namespace
}  // namespace lingchao
