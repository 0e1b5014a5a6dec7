// The [web] section of lingchao.ini: what is written reads back (hashes with '$', '/', '+' too), damaged values
// read as defaults, the rest of the file and a backup are kept, and a file that cannot be written says why.

#include <gtest/gtest.h>

#include <QSettings>

#include "support/hostile_files.h"
#include "support/temp_folder.h"
#include "web/web_access.h"
#include "web/web_settings.h"

namespace lingchao {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

void ExpectSame(const WebSettings& a, const WebSettings& b) {
    EXPECT_EQ(a.enabled, b.enabled);
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.network, b.network);
    EXPECT_EQ(a.allowOutside, b.allowOutside);
    EXPECT_EQ(a.dutyPassword, b.dutyPassword);
    EXPECT_EQ(a.adminPassword, b.adminPassword);
    EXPECT_EQ(a.dutyToken, b.dutyToken);
    EXPECT_EQ(a.adminToken, b.adminToken);
    EXPECT_EQ(a.certificate, b.certificate);
    EXPECT_EQ(a.key, b.key);
}

WebSettings Everything() {
    WebSettings s;
    s.enabled = true;
    s.port = 8443;
    s.network = true;
    s.allowOutside = true;
    // Salts and hashes drawn until one holds '/' and '+', which INI text could mangle.
    do {
        s.adminPassword = HashSecret("管理");
    } while (!s.adminPassword.contains('/') || !s.adminPassword.contains('+'));
    s.dutyPassword = HashSecret("值班");
    s.dutyToken = HashToken(NewApiToken());
    s.adminToken = HashToken(NewApiToken());
    s.certificate = "/srv/证书/a,b; c=d.pem";
    s.key = "/srv/key.pem";
    return s;
}

TEST(WebSettingsFile, WhatIsWrittenReadsBackAndTheRestOfTheFileIsKeptAsItWas) {
    TempFolder app;
    ExpectSame(ReadWebSettings(app.path()), WebSettings{});  // no file: the defaults

    // An administrator's file: comments, another program's GBK text, a list value, an old [web] in the middle.
    const std::string others = "; set up by the district\n[bells]\nvolume=80\nname=\xc9\xcf\xbf\xce\nrooms=a,b\n";
    const std::string after = "[zzz]\n; last\nx=1\n";
    WriteAll(SettingsFile(app.path()), Bytes(others + "[web]\nport=1234\nfuture=kept\n" + after));
    const auto before = ReadAll(SettingsFile(app.path()));

    WebSettings written = Everything();
    QString why;
    ASSERT_TRUE(WriteWebSettings(app.path(), written, &why)) << why.toStdString();
    ExpectSame(ReadWebSettings(app.path()), written);
    auto bak = SettingsFile(app.path());
    bak += ".bak";
    EXPECT_EQ(ReadAll(bak), before);

    const std::string text = Text(ReadAll(SettingsFile(app.path())));
    EXPECT_EQ(text.rfind(others + after, 0), 0u) << text;
    EXPECT_NE(text.find("future=kept"), std::string::npos) << text;
    EXPECT_EQ(text.find("1234"), std::string::npos) << text;
    QSettings ini(QString::fromStdString(SettingsFile(app.path()).string()), QSettings::IniFormat);
    EXPECT_EQ(ini.value("web/admin_password").toString(), written.adminPassword);

    // Written again: the backup is the previous version; the defaults read back too.
    const auto previous = ReadAll(SettingsFile(app.path()));
    ASSERT_TRUE(WriteWebSettings(app.path(), WebSettings{}, &why)) << why.toStdString();
    EXPECT_EQ(ReadAll(bak), previous);
    ExpectSame(ReadWebSettings(app.path()), WebSettings{});
    written.port = 8444;
    ASSERT_TRUE(WriteWebSettings(app.path(), written, &why)) << why.toStdString();
    EXPECT_EQ(ReadWebSettings(app.path()).port, 8444);
    written.port = 8445;  // the same length, at once: not read as it was
    ASSERT_TRUE(WriteWebSettings(app.path(), written, &why)) << why.toStdString();
    EXPECT_EQ(ReadWebSettings(app.path()).port, 8445);
    EXPECT_EQ(Text(ReadAll(SettingsFile(app.path()))).rfind(others + after, 0), 0u);
}

TEST(WebSettingsFile, DamagedValuesReadAsTheirDefaults) {
    TempFolder app;
    const QString hash = HashSecret("x");
    const std::string good = "duty_password=\"" + hash.toStdString() + "\"\n";
    // Each bad value is its default; the good one beside them is read.
    WebSettings expected;
    expected.dutyPassword = hash;
    for (const std::string& section : std::vector<std::string>{
             "enabled=maybe\nport=70000\nlisten=everywhere\nallow_outside=2\n",
             "enabled=\nport=-1\nlisten=\nallow_outside=\n", "port=80x\n",
             "port=0\nadmin_password=pbkdf2-sha256$1$AAAA$AAAA\nduty_token=abc\nadmin_token=" + std::string(64, 'G') +
                 "\n"}) {
        SCOPED_TRACE(section);
        WriteAll(SettingsFile(app.path()), Bytes("[web]\n" + section + good));
        ExpectSame(ReadWebSettings(app.path()), expected);
    }
    WriteAll(SettingsFile(app.path()), Bytes(std::string("\x01\xff[\x00\n=\n[[\n[web]\nport\n", 21)));
    ExpectSame(ReadWebSettings(app.path()), WebSettings{});
    // Set by hand, in other spellings.
    WriteAll(SettingsFile(app.path()), Bytes("[web]\nenabled = Yes\nport = 9000\nlisten = Network\n" + good));
    const WebSettings byHand = ReadWebSettings(app.path());
    EXPECT_TRUE(byHand.enabled);
    EXPECT_EQ(byHand.port, 9000);
    EXPECT_TRUE(byHand.network);
    EXPECT_EQ(byHand.dutyPassword, hash);

    // Not a file to read: the defaults, at once.
    std::filesystem::remove(SettingsFile(app.path()));
    test::MakeFifo(SettingsFile(app.path()));
    ExpectSame(ReadWebSettings(app.path()), WebSettings{});
    QString why;
    EXPECT_FALSE(WriteWebSettings(app.path(), Everything(), &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST(WebSettingsFile, AFolderThatCannotBeWrittenLeavesTheFileAndSaysWhy) {
    TempFolder app;
    const auto file = SettingsFile(app.path());
    WriteAll(file, Bytes("[web]\nport=1234\n"));
    const auto before = ReadAll(file);
    std::filesystem::permissions(app.path(), std::filesystem::perms(0555));
    {
        test::PermissionsApply permissions;
        QString why;
        EXPECT_FALSE(WriteWebSettings(app.path(), Everything(), &why));
        EXPECT_NE(why.indexOf("没有写入权限"), -1) << why.toStdString();
    }
    std::filesystem::permissions(app.path(), std::filesystem::perms(0755));
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(ReadWebSettings(app.path()).port, 1234);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(app.path()), {}), 1) << "left something behind";

    // No file yet, in a folder that cannot be written.
    TempFolder empty;
    std::filesystem::permissions(empty.path(), std::filesystem::perms(0555));
    test::PermissionsApply permissions;
    QString why;
    EXPECT_FALSE(WriteWebSettings(empty.path(), Everything(), &why));
    EXPECT_FALSE(why.isEmpty());
}

}  // namespace
}  // namespace lingchao
