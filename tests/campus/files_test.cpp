// What a follower does with the timetable and calendar the main sends: a good file replaces its own whole, after
// a backup; anything else (tampered, oversized, older, garbage, no timetable at all) leaves every file of the
// folder byte for byte, with a reason, also across a restart. And the status each PC sends of itself.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <random>

#include "campus/campus_apply.h"
#include "scheduler/calendar.h"
#include "store/job_record.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

constexpr std::time_t kNow = 1796600000;  // a fixed moment names the backup folders
const QDateTime kSent = QDateTime::fromString("2026-12-07T07:55:00.250+08:00", Qt::ISODateWithMs);

Bytes Timetable(const std::vector<std::string>& names) {
    Bytes out;
    std::int16_t no = 0;
    for (const std::string& name : names) {
        const auto record = test::FixtureRecord({++no,
                                                 name,
                                                 "08:0" + std::to_string(no),
                                                 "Everyday",
                                                 no % 2 == 0 ? "PAUSE" : "START",
                                                 {"/m/" + name + ".wav"},
                                                 {}});
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

Bytes Of(const std::string& text) { return {text.begin(), text.end()}; }

QByteArray Message(CampusFileKind kind, std::uint64_t version, const Bytes& data) {
    QString why;
    const QByteArray raw = EncodeFileMessage({kind, version, data, "主控", kSent}, &why);
    EXPECT_FALSE(raw.isEmpty()) << why.toStdString();
    return raw;
}

QByteArray Edited(const QByteArray& raw, const std::function<void(QJsonObject&)>& edit) {
    QJsonObject object = QJsonDocument::fromJson(raw).object();
    edit(object);
    return QJsonDocument(object).toJson();
}

// Every file of the folder with its bytes.
std::map<std::string, Bytes> Snapshot(const TempFolder& app) {
    std::map<std::string, Bytes> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(app.path())) {
        if (entry.is_regular_file()) out[entry.path().lexically_relative(app.path()).string()] = ReadAll(entry.path());
    }
    return out;
}

class CampusFiles : public ::testing::Test {
protected:
    void SetUp() override {
        WriteAll(app / "default.dll", Timetable({"old-ready", "old-class"}));
        WriteAll(app / "calendar.csv",
                 Of("first_date,last_date,kind,argument,note\n2026-10-01,2026-10-07,holiday,,\n"));
    }
    bool Receive(const QByteArray& raw, CampusFileKind kind = CampusFileKind::Timetable) {
        return ReceiveCampusFile(app.path(), raw, kind, kNow, &why);
    }
    TempFolder app;
    QString why;
};

TEST_F(CampusFiles, ANewerFileReplacesTheOldOneAfterABackupAndItsVersionOutlivesARestart) {
    const Bytes old = ReadAll(app / "default.dll");
    const Bytes timetable = Timetable({"ready", "class", "break"});
    ASSERT_TRUE(Receive(Message(CampusFileKind::Timetable, 5, timetable))) << why.toStdString();
    EXPECT_EQ(ReadAll(app / "default.dll"), timetable);
    bool kept = false;
    for (const auto& [name, bytes] : Snapshot(app)) kept = kept || (name.starts_with("backup/") && bytes == old);
    EXPECT_TRUE(kept);

    const Bytes calendar = Of("first_date,last_date,kind,argument,note\n2026-12-07,,today-silent,,停电\n");
    ASSERT_TRUE(Receive(Message(CampusFileKind::Calendar, 2, calendar), CampusFileKind::Calendar)) << why.toStdString();
    EXPECT_EQ(ReadAll(app / "calendar.csv"), calendar);

    // Each call reads the recorded versions afresh, as a restarted program does.
    const auto applied = ReadCampusApplied(app.path());
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->timetable, 5u);
    EXPECT_EQ(applied->calendar, 2u);
    const auto before = Snapshot(app);
    EXPECT_FALSE(Receive(Message(CampusFileKind::Timetable, 4, Timetable({"older"}))));
    EXPECT_TRUE(why.contains("不比已采用的版本 5 新")) << why.toStdString();
    EXPECT_FALSE(Receive(Message(CampusFileKind::Timetable, 5, Timetable({"same"}))));
    EXPECT_EQ(Snapshot(app), before);

    // The same bytes again under a newer version: only the version moves, no backup is made of them.
    ASSERT_TRUE(Receive(Message(CampusFileKind::Timetable, 6, timetable))) << why.toStdString();
    EXPECT_EQ(ReadCampusApplied(app.path())->timetable, 6u);
    EXPECT_EQ(Snapshot(app).size(), before.size());
    // The largest version any JSON reader holds exactly goes through whole.
    ASSERT_TRUE(Receive(Message(CampusFileKind::Timetable, kMaxCampusVersion, Bytes{}))) << why.toStdString();
    EXPECT_EQ(ReadCampusApplied(app.path())->timetable, kMaxCampusVersion);
    EXPECT_TRUE(ReadAll(app / "default.dll").empty());  // the main's timetable was cleared
}

TEST_F(CampusFiles, WhatIsNotANewerWholeFileChangesNothingAndSaysWhy) {
    ASSERT_TRUE(Receive(Message(CampusFileKind::Timetable, 7, Timetable({"ready", "class"})))) << why.toStdString();
    const QByteArray good = Message(CampusFileKind::Timetable, 8, Timetable({"new"}));
    std::mt19937 random(7);
    Bytes noise(2 * JobRecordLength);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    QByteArray huge = Message(CampusFileKind::Timetable, 8, Timetable({"new"}));
    huge.insert(1, "\"pad\":\"" + QByteArray(10 * 1024 * 1024, 'a') + "\",");

    const std::vector<std::tuple<const char*, QByteArray, const char*>> hostile = {
        {"not JSON", "\x89PNG\r\n\x1a\n garbage", "不是 JSON"},
        {"a JSON array", "[1,2,3]", "不是 JSON"},
        {"10 MB", huge, "消息过大"},
        {"bad checksum", Edited(good, [](QJsonObject& o) { o["sha256"] = QString(64, 'a'); }), "SHA-256"},
        {"older version", Message(CampusFileKind::Timetable, 6, Timetable({"old"})), "不比已采用的版本 7 新"},
        {"the same version", Message(CampusFileKind::Timetable, 7, Timetable({"old"})), "不比已采用的版本 7 新"},
        {"the calendar's kind", Message(CampusFileKind::Calendar, 8, Of(kCalendarHeader)), "类型不对"},
        {"no version", Edited(good, [](QJsonObject& o) { o.remove("version"); }), "version"},
        {"a fractional version", Edited(good, [](QJsonObject& o) { o["version"] = 8.5; }), "version"},
        {"version as text", Edited(good, [](QJsonObject& o) { o["version"] = "8"; }), "version"},
        {"a sender named with /", Edited(good, [](QJsonObject& o) { o["from"] = "a/b"; }), "from"},
        {"no time", Edited(good, [](QJsonObject& o) { o["sent"] = "yesterday"; }), "sent"},
        {"bad base64", Edited(good, [](QJsonObject& o) { o["data"] = "@@@@" + o["data"].toString(); }), "base64"},
        {"a length that lies", Edited(good, [](QJsonObject& o) { o["bytes"] = 4173; }), "长度不符"},
        {"over 1 MB declared", Edited(good, [](QJsonObject& o) { o["bytes"] = 2 * 1024 * 1024; }), "文件过大"},
        {"valid checksum, random bytes", Message(CampusFileKind::Timetable, 8, noise), "不是任务表"},
        {"valid checksum, a cut record", Message(CampusFileKind::Timetable, 8, Bytes(JobRecordLength - 1, ' ')),
         "不是任务表"},
        {"valid checksum, only zeros", Message(CampusFileKind::Timetable, 8, Bytes(JobRecordLength, 0)), "不是任务表"},
        {"valid checksum, a calendar as timetable",
         Message(CampusFileKind::Timetable, 8, Of(std::string(kCalendarHeader) + "\n")), "不是任务表"},
    };
    const auto before = Snapshot(app);
    for (const auto& [what, raw, reason] : hostile) {
        SCOPED_TRACE(what);
        why.clear();
        EXPECT_FALSE(Receive(raw));
        EXPECT_TRUE(why.contains(QString::fromUtf8(reason))) << why.toStdString();
        EXPECT_EQ(Snapshot(app), before);
    }
    // A calendar without its header is no calendar.
    EXPECT_FALSE(Receive(Message(CampusFileKind::Calendar, 1, noise), CampusFileKind::Calendar));
    EXPECT_TRUE(why.contains("不是校历")) << why.toStdString();
    EXPECT_EQ(Snapshot(app), before);
    ASSERT_TRUE(Receive(good)) << why.toStdString();  // the good one still goes through
}

TEST_F(CampusFiles, AVersionThatCannotBeRecordedOrReadLeavesTheOldFile) {
    const auto before = Snapshot(app);
    // The state file's scratch name taken by a folder: the timetable is written, the version is not, and the old
    // timetable is put back.
    std::filesystem::create_directory(app / ".campus-state.ini.new");
    EXPECT_FALSE(Receive(Message(CampusFileKind::Timetable, 1, Timetable({"new"}))));
    EXPECT_TRUE(why.contains("无法记下已采用的版本")) << why.toStdString();
    EXPECT_EQ(ReadAll(app / "default.dll"), before.at("default.dll"));
    std::filesystem::remove(app / ".campus-state.ini.new");

    // A damaged state file is not taken for "nothing applied yet".
    for (const std::string state : {"[applied]\ntimetable=12x\n", "timetable=-1\n", "timetable=99999999999999999\n"}) {
        SCOPED_TRACE(state);
        WriteAll(app / kCampusStateFile, Of(state));
        const auto damaged = Snapshot(app);
        EXPECT_FALSE(ReadCampusApplied(app.path()));
        EXPECT_FALSE(Receive(Message(CampusFileKind::Timetable, 1000, Timetable({"new"}))));
        EXPECT_TRUE(why.contains(kCampusStateFile)) << why.toStdString();
        EXPECT_EQ(Snapshot(app), damaged);
    }
}

TEST(CampusStatus, ReadsBackToleratesNewFieldsAndRefusesGarbage) {
    EXPECT_EQ(StatusTopic("一中", "教学楼A"), "lingchao/一中/status/教学楼A");
    CampusStatus status;
    status.pc = "教学楼A";
    status.version = "4.0.2";
    status.online = true;
    status.clockSynced = true;
    status.offsetMs = -12.5;
    status.output = "正常 60%";
    status.warnings = {"第 3 个铃声的文件不存在"};
    status.lastBell = CampusLastBell{"08:00", "上课", "fired", 4200, 0.71, "2026-12-07", 1250};
    status.sent = kSent;
    const QByteArray raw = EncodeStatus(status);
    const auto back = DecodeStatus(Edited(raw, [](QJsonObject& o) { o["future"] = QJsonObject{{"x", 1}}; }));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pc, status.pc);
    EXPECT_EQ(back->version, status.version);
    EXPECT_TRUE(back->online && back->clockSynced);
    EXPECT_EQ(back->offsetMs.value_or(0), -12.5);
    EXPECT_EQ(back->output, status.output);
    EXPECT_EQ(back->warnings, status.warnings);
    ASSERT_TRUE(back->lastBell);
    EXPECT_EQ(back->lastBell->name, "上课");
    EXPECT_EQ(back->lastBell->soundMs, 4200);
    EXPECT_EQ(back->lastBell->peak, 0.71);
    EXPECT_EQ(back->lastBell->date, "2026-12-07");
    EXPECT_EQ(back->lastBell->lateMs, 1250);
    EXPECT_EQ(back->sent, kSent);

    // Unknown offset and no bell yet: nulls.
    status.offsetMs.reset();
    status.lastBell.reset();
    const auto nulls = DecodeStatus(EncodeStatus(status));
    ASSERT_TRUE(nulls);
    EXPECT_FALSE(nulls->offsetMs || nulls->lastBell);

    const std::vector<std::pair<QByteArray, const char*>> garbage = {
        {"{", "JSON"},
        {QByteArray(3 * 1024 * 1024, ' '), "消息过大"},
        {Edited(raw, [](QJsonObject& o) { o.remove("pc"); }), "pc"},
        {Edited(raw, [](QJsonObject& o) { o["pc"] = "a+b"; }), "pc"},
        {Edited(raw, [](QJsonObject& o) { o["online"] = "yes"; }), "online"},
        {Edited(raw, [](QJsonObject& o) { o["offset_ms"] = "12"; }), "offset_ms"},
        {Edited(raw,
                [](QJsonObject& o) {
                    o["warnings"] = QJsonArray{"a", 1};
                }),
         "warnings"},
        {Edited(raw,
                [](QJsonObject& o) {
                    o["last_bell"] = QJsonObject{{"time", "08:00"}};
                }),
         "last_bell"},
        {Edited(raw, [](QJsonObject& o) { o["sent"] = 0; }), "sent"},
    };
    for (const auto& [bytes, reason] : garbage) {
        QString why;
        EXPECT_FALSE(DecodeStatus(bytes, &why));
        EXPECT_TRUE(why.contains(QString::fromUtf8(reason))) << why.toStdString();
    }
}

TEST(CampusSignal, ReadsBackAndRefusesANameNoPlanCouldHave) {
    CampusSignal signal{true, "地震演练", 2, 3, false, "主控", kSent};
    const QByteArray raw = EncodeSignal(signal);
    const auto back = DecodeSignal(raw);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->running && !back->ending);
    EXPECT_EQ(back->signal, "地震演练");
    EXPECT_EQ(back->step, 2);
    EXPECT_EQ(back->steps, 3);
    EXPECT_EQ(back->from, "主控");
    EXPECT_EQ(back->sent, kSent);
    for (const QByteArray& bad :
         {Edited(raw, [](QJsonObject& o) { o["signal"] = QString("a\nb"); }),
          Edited(raw, [](QJsonObject& o) { o["signal"] = ""; }), Edited(raw, [](QJsonObject& o) { o["step"] = -1; }),
          Edited(raw, [](QJsonObject& o) { o["from"] = "a/b"; }),
          Edited(raw, [](QJsonObject& o) { o.remove("running"); }), QByteArray("[]")}) {
        QString why;
        EXPECT_FALSE(DecodeSignal(bad, &why)) << bad.toStdString();
        EXPECT_FALSE(why.isEmpty());
    }
}

}  // namespace
}  // namespace lingchao
