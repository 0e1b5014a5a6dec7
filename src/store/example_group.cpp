#include "store/example_group.h"

#include "store/group_file.h"

namespace lingchao {

Bytes ExampleGroup(const std::filesystem::path& musicFolder) {
    struct Bell {
        const char* name;
        const char* time;
        const char* sound;
    };
    static constexpr Bell kBells[] = {
        {"预备铃", "07:50", "预备铃.wav"},     {"第一节上课", "08:00", "上课铃.wav"},
        {"第一节下课", "08:45", "下课铃.wav"}, {"第二节上课", "08:55", "上课铃.wav"},
        {"第二节下课", "09:40", "下课铃.wav"}, {"第三节上课", "10:00", "上课铃.wav"},
        {"第三节下课", "10:45", "下课铃.wav"}, {"第四节上课", "10:55", "上课铃.wav"},
        {"第四节下课", "11:40", "下课铃.wav"},
    };
    Bytes out;
    int k = 0;
    for (const auto& bell : kBells) {
        JobRecord r = BlankJobRecord();
        r.JobNo = static_cast<std::int16_t>(++k);
        r.JobName = bell.name;
        r.JobTime = bell.time;
        r.JobDate = "Everyday";
        r.JobState = "START";
        r.JobMusic[0] = (musicFolder / bell.sound).string();
        PutRecord(out, k, EncodeJobRecord(r));
    }
    return out;
}

void SeedAppFolder(const std::filesystem::path& appFolder, const std::filesystem::path& shippedMusic) {
    std::error_code ec;
    const auto music = appFolder / "music";
    std::filesystem::create_directories(music, ec);
    std::filesystem::create_directories(appFolder / "job", ec);
    for (const auto& entry : std::filesystem::directory_iterator(shippedMusic, ec)) {
        const auto target = music / entry.path().filename();
        if (entry.is_regular_file() && !std::filesystem::exists(target)) CopyWholeFile(entry.path(), target, false);
    }
    const auto example = appFolder / "job" / kExampleGroupName;
    if (!std::filesystem::exists(example)) ReplaceFileAtomically(example, ExampleGroup(music));
}

}  // namespace lingchao
