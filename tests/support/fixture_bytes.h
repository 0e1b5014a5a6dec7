#pragma once

// Job records built byte by byte from the file layout, without the program's encoder, so that
// tests compare the program against the format and not against itself.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace lingchao::test {

// GBK bytes of the Chinese texts the fixtures use (from the code page table, not from iconv).
inline const std::string kGbkShengQi = "\xC9\xFD\xC6\xEC";    // 升旗
inline const std::string kGbkShangKe = "\xC9\xCF\xBF\xCE";    // 上课
inline const std::string kGbkLingSheng = "\xC1\xE5\xC9\xF9";  // 铃声

struct FixtureJob {
    std::int16_t no = 0;
    std::string nameGbk;
    std::string time;
    std::string date;
    std::string state;
    std::vector<std::string> musicGbk;  // up to 8
    std::vector<std::int16_t> flags;    // up to 8
};

inline void PutLe16(std::vector<std::uint8_t>& out, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
}

inline void PutField(std::vector<std::uint8_t>& out, const std::string& bytes, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0x20);
}

inline std::vector<std::uint8_t> FixtureRecord(const FixtureJob& j) {
    std::vector<std::uint8_t> out;
    PutLe16(out, j.no);
    PutField(out, j.nameGbk, 40);
    PutField(out, j.time, 5);
    PutField(out, j.date, 10);
    PutField(out, j.state, 5);
    for (std::size_t i = 0; i < 8; ++i) PutField(out, i < j.musicGbk.size() ? j.musicGbk[i] : "", 512);
    for (std::size_t i = 0; i < 8; ++i) PutLe16(out, i < j.flags.size() ? j.flags[i] : 0);
    return out;
}

inline std::vector<std::uint8_t> FixtureGroup(std::initializer_list<FixtureJob> jobs) {
    std::vector<std::uint8_t> out;
    for (const auto& j : jobs) {
        const auto r = FixtureRecord(j);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

}  // namespace lingchao::test
