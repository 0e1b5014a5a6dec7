#pragma once

#include <string>
#include <vector>

#include "base/text.h"
#include "store/gbk.h"
#include "store/group_file.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao::test {

// Writes a group of jobs named "J1".."Jn" at 08:01, 08:02, ... (state START, Everyday, music "/m/Jk.mp3").
inline void WriteNumberedGroup(const std::filesystem::path& file, int n) {
    std::vector<std::uint8_t> bytes;
    for (int k = 1; k <= n; ++k) {
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d", 8 + k / 60, k % 60);
        const auto r = FixtureRecord({static_cast<std::int16_t>(k),
                                      "J" + std::to_string(k),
                                      time,
                                      "Everyday",
                                      "START",
                                      {"/m/J" + std::to_string(k) + ".mp3"},
                                      {}});
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    WriteAll(file, bytes);
}

// Name and number of every record, e.g. "1:J1".
inline std::vector<std::string> NamesAndNumbers(const std::filesystem::path& file) {
    GroupFile g(file);
    std::vector<std::string> out;
    for (int k = 1; k <= g.Count(); ++k) {
        const JobRecord r = g.Read(k);
        out.push_back(std::to_string(r.JobNo) + ":" + std::string(Trim(r.JobName)));
    }
    return out;
}

}  // namespace lingchao::test
