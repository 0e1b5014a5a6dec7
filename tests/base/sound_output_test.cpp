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
    ::testing::Values(
        Row{"Healthy", Healthy(), "", "alsa_output.pci-0000_00_1f.3.analog-stereo 60%"},
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
        Row{"MutedAndLow",
            With([](SoundOutputState& s) {
                s.muted = true;
                s.volumePercent = 0;
            }),
            "声音已静音；音量过低：0%", "alsa_output.pci-0000_00_1f.3.analog-stereo 0% muted"}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace lingchao
