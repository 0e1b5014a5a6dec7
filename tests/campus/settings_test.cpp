// The [campus] section of lingchao.ini: what is written reads back and leaves the rest of the file and a backup,
// the password is the owner's alone, and every bad value is named and keeps the feature off.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "campus/campus_settings.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }
std::filesystem::path Ini(const TempFolder& app) { return app / "lingchao.ini"; }

unsigned Mode(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

CampusSettings Standby() {
    CampusSettings s;
    s.enabled = true;
    s.host = "fd00::10";
    s.port = 8883;
    s.campus = "实验中学";
    s.name = "教学楼B";
    s.role = CampusRole::Standby;
    s.standbyFor = "教学楼A";
    s.caFile = "/etc/铃潮/ca,1.pem";
    s.certFile = "/etc/铃潮/b.pem";
    s.keyFile = "/etc/铃潮/b.key";
    s.user = "bell";
    s.password = " p@ss,w;rd#%=\"\\ ";  // blanks at both ends and what INI text could mangle
    return s;
}

TEST(CampusSettingsFile, WhatIsWrittenReadsBackTheRestIsKeptAndThePasswordIsTheOwnersAlone) {
    TempFolder app;
    const CampusSettingsRead none = ReadCampusSettings(app.path());
    EXPECT_FALSE(none.On());
    EXPECT_TRUE(none.problems.isEmpty());  // no file: off, nothing wrong

    const std::string others = "; set up by the district\n[web]\nenabled=true\nport=8760\n";
    const std::string after = "[zzz]\n; last\nx=1\n";
    WriteAll(Ini(app), Bytes(others + "[campus]\nbroker=old:1\nfuture=dropped\n" + after));
    const auto before = ReadAll(Ini(app));

    const CampusSettings written = Standby();
    QString why;
    ASSERT_TRUE(WriteCampusSettings(app.path(), written, &why)) << why.toStdString();
    const CampusSettingsRead read = ReadCampusSettings(app.path());
    EXPECT_TRUE(read.problems.isEmpty()) << read.problems.join('\n').toStdString();
    EXPECT_TRUE(read.On());
    const CampusSettings& s = read.settings;
    EXPECT_EQ(s.host, written.host);
    EXPECT_EQ(s.port, 8883);
    EXPECT_EQ(s.campus, written.campus);
    EXPECT_EQ(s.name, written.name);
    EXPECT_EQ(s.role, CampusRole::Standby);
    EXPECT_EQ(s.standbyFor, written.standbyFor);
    EXPECT_EQ(s.caFile, written.caFile);
    EXPECT_EQ(s.certFile, written.certFile);
    EXPECT_EQ(s.keyFile, written.keyFile);
    EXPECT_EQ(s.user, written.user);
    EXPECT_EQ(s.password, written.password);

    const std::string text = Text(ReadAll(Ini(app)));
    EXPECT_EQ(text.rfind(others + after, 0), 0u) << text;
    EXPECT_NE(text.find("broker=[fd00::10]:8883\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("future"), std::string::npos) << text;
    EXPECT_EQ(ReadAll(app / "lingchao.ini.bak"), before);
    EXPECT_EQ(Mode(Ini(app)), 0600u);
    EXPECT_EQ(Mode(app / "lingchao.ini.bak"), 0600u);  // the next backup holds the password too

    // Written again and again: each version reads back, the rest of the file still byte for byte.
    CampusSettings plain = written;
    plain.password.clear();
    ASSERT_TRUE(WriteCampusSettings(app.path(), plain, &why)) << why.toStdString();
    CampusSettings follower = plain;
    follower.role = CampusRole::Follower;
    follower.host = "10.0.0.5";
    ASSERT_TRUE(WriteCampusSettings(app.path(), follower, &why)) << why.toStdString();
    EXPECT_EQ(ReadCampusSettings(app.path()).settings.role, CampusRole::Follower);
    EXPECT_EQ(Text(ReadAll(Ini(app))).rfind(others + after, 0), 0u);
}

// The [campus] section of a good file with some keys set otherwise ("" leaves a key out).
std::string Section(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> keys = {
        {"enabled", "true"}, {"broker", "mqtt.school.lan"}, {"campus", "一中"}, {"name", "教学楼A"}, {"role", "main"}};
    for (const auto& [key, value] : changes) keys[key] = value;
    std::string out = "[campus]\n";
    for (const auto& [key, value] : keys) out += value.empty() ? "" : key + "=" + value + "\n";
    return out;
}

TEST(CampusSettingsFile, EveryBadValueIsNamedAndKeepsTheFeatureOff) {
    TempFolder app;
    WriteAll(Ini(app), Bytes(Section({})));
    const CampusSettingsRead fine = ReadCampusSettings(app.path());
    EXPECT_TRUE(fine.On()) << fine.problems.join('\n').toStdString();
    EXPECT_EQ(fine.settings.host, "mqtt.school.lan");
    EXPECT_EQ(fine.settings.port, 1883);

    // Each spoils the good section once; what its one problem must name.
    const std::vector<std::pair<std::map<std::string, std::string>, std::string>> bad = {
        {{{"enabled", "maybe"}}, "enabled"},
        {{{"broker", "mqtt.school.lan:0"}}, "broker"},
        {{{"broker", "mqtt.school.lan:65536"}}, "broker"},
        {{{"broker", "mqtt.school.lan:18x3"}}, "broker"},
        {{{"broker", "mqtt.school.lan:"}}, "broker"},
        {{{"broker", "fd00::10:1883"}}, "broker"},  // IPv6 without its brackets
        {{{"broker", "[fd00::10"}}, "broker"},
        {{{"broker", "[not-v6]:1883"}}, "broker"},
        {{{"broker", "a b:1883"}}, "broker"},
        {{{"broker", ""}}, "broker"},
        {{{"campus", "一中/二部"}}, "campus"},
        {{{"campus", "+"}}, "campus"},
        {{{"campus", "#"}}, "campus"},
        {{{"campus", ""}}, "campus"},
        {{{"name", "教学\\t楼"}}, "name"},  // a tab, as QSettings reads the escape
        {{{"name", std::string(65, 'a')}}, "name"},
        {{{"role", "boss"}}, "role"},
        {{{"role", ""}}, "role"},
        {{{"role", "standby"}}, "standby_for"},
        {{{"role", "standby"}, {"standby_for", "教学楼A"}}, "standby_for"},  // itself
        {{{"cert_file", "/c.pem"}}, "key_file"},
        {{{"password", "x"}}, "user"},
    };
    for (const auto& [changes, key] : bad) {
        const std::string section = Section(changes);
        SCOPED_TRACE(section);
        WriteAll(Ini(app), Bytes(section));
        const CampusSettingsRead read = ReadCampusSettings(app.path());
        EXPECT_FALSE(read.On());
        ASSERT_EQ(read.problems.size(), 1) << read.problems.join('\n').toStdString();
        EXPECT_TRUE(read.problems[0].contains(QString::fromStdString(key))) << read.problems[0].toStdString();
    }

    // Settings with a problem are not written: the file stays as it was.
    WriteAll(Ini(app), Bytes(Section({})));
    const auto before = ReadAll(Ini(app));
    CampusSettings wrong = fine.settings;
    wrong.name = "楼/A";
    QString why;
    EXPECT_FALSE(WriteCampusSettings(app.path(), wrong, &why));
    EXPECT_TRUE(why.contains("name")) << why.toStdString();
    wrong = fine.settings;
    wrong.port = 0;
    EXPECT_FALSE(WriteCampusSettings(app.path(), wrong, &why));
    EXPECT_EQ(ReadAll(Ini(app)), before);
    EXPECT_FALSE(std::filesystem::exists(app / "lingchao.ini.bak"));
}

}  // namespace
}  // namespace lingchao
