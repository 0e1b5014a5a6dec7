#include "scheduler/calendar.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>

#include "scheduler/clock.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

std::string Csv(const std::string& body) { return std::string(kCalendarHeader) + "\n" + body; }

std::string Text(const std::filesystem::path& file) {
    const auto bytes = test::ReadAll(file);
    return {bytes.begin(), bytes.end()};
}
void Put(const std::filesystem::path& file, const std::string& text) {
    test::WriteAll(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}
std::vector<std::string> Reasons(const CalendarRead& read) {
    std::vector<std::string> out;
    for (const auto& p : read.problems) out.push_back(p.why);
    return out;
}
CalendarEntry Entry(CalendarDate first, CalendarDate last, CalendarKind kind, std::string note) {
    CalendarEntry e;
    e.first = first;
    e.last = last;
    e.kind = kind;
    e.note = std::move(note);
    return e;
}

DayRule Resolve(const std::string& body, CalendarDate date) {
    const CalendarRead read = ParseCalendar(Csv(body));
    EXPECT_TRUE(read.problems.empty()) << CalendarProblemsText(read.problems);
    return ResolveDay(read.entries, date);
}

TEST(CalendarParse, ReadsEveryKindWithQuotedNotes) {
    const CalendarRead read =
        ParseCalendar("\xEF\xBB\xBF" + Csv("2026-10-01,2026-10-07,holiday,,\"国庆节, 中秋节\"\r\n"
                                           "2026-09-01,2027-01-31,rest-weekdays,6 7,\n"
                                           "2026-10-10,2026-10-10,school-day,1,\"调休 \"\"上课\"\"\"\n"
                                           "2026-11-11,,group,期中考试.sav,\"两行\n备注\"\n"
                                           "2026-12-07,2026-12-07,today-shift,10 07:58\n"));
    ASSERT_TRUE(read.problems.empty()) << CalendarProblemsText(read.problems);
    ASSERT_EQ(read.entries.size(), 5u);
    EXPECT_EQ(read.entries[0].note, "国庆节, 中秋节");
    EXPECT_EQ(read.entries[0].line, 2);
    EXPECT_EQ(read.entries[2].note, "调休 \"上课\"");
    EXPECT_EQ(read.entries[3].kind, CalendarKind::Group);
    EXPECT_EQ(read.entries[3].last, (CalendarDate{2026, 11, 11}));  // an empty last date: one day
    EXPECT_EQ(read.entries[3].note, "两行\n备注");
    EXPECT_EQ(read.entries[4].line, 7);  // the note above spans two lines
    // Written and read again, the entries are the same.
    const CalendarRead again = ParseCalendar(EncodeCalendar(read.entries));
    ASSERT_EQ(again.entries.size(), read.entries.size());
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        EXPECT_TRUE(again.entries[i].SameAs(read.entries[i])) << i;
        EXPECT_EQ(again.entries[i].note, read.entries[i].note) << i;
    }
}

TEST(CalendarParse, BadLinesAreSkippedAndNamedByNumberWhileGoodOnesCount) {
    const CalendarRead read =
        ParseCalendar(Csv("2026-10-01,2026-10-07,holiday,,国庆节\n"
                          "2026-13-01,2026-13-02,holiday,,\n"
                          "2026-10-09,2026-10-08,holiday,,\n"
                          "2026-10-10,2026-10-10,vacation,,\n"
                          "2026-10-10,2026-10-10,rest-weekdays,8,\n"
                          "2026-10-10,2026-10-10,school-day,mon,\n"
                          "2026-10-10,2026-10-10,group,../default.dll,\n"
                          "2026-10-10,2026-10-11,today-silent,,\n"
                          "2026-10-10,2026-10-10,today-skip,eight,\n"
                          "2026-10-10,2026-10-10,today-shift,2000 08:00,\n"
                          "only,two\n"
                          "2026-10-10,2026-10-10,holiday,,\"unclosed\n"));
    ASSERT_EQ(read.entries.size(), 1u);
    std::vector<int> lines;
    for (const auto& p : read.problems) lines.push_back(p.line);
    EXPECT_EQ(lines, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    const std::string text = CalendarProblemsText(read.problems);
    EXPECT_NE(text.find("校历第 3 行已跳过：日期无法识别：2026-13-01"), std::string::npos) << text;
    EXPECT_NE(text.find("校历第 4 行已跳过：结束日期早于开始日期"), std::string::npos) << text;
    EXPECT_NE(text.find("类型无法识别：vacation"), std::string::npos) << text;
}

TEST(CalendarParse, AMegabyteOfBadLinesKeepsAFewProblemsAndAShortText) {
    std::string body;
    for (int i = 0; body.size() < kCalendarMaxBytes - 4096; ++i)
        body += i % 3 == 0 ? "2026-10-0" + std::to_string(i % 9 + 1) + ",,vacation,,\n" : "bad line\n";
    const CalendarRead read = ParseCalendar(Csv(body));
    EXPECT_TRUE(read.entries.empty());
    ASSERT_EQ(read.problems.size(), kCalendarMaxProblems + 1);
    const std::string text = CalendarProblemsText(read.problems);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    // The count first, then the lines with the same reason together.
    const auto lines = std::count(body.begin(), body.end(), '\n');
    EXPECT_TRUE(text.starts_with("校历中有 " + std::to_string(lines) + " 行已跳过，只列出前 100 行\n")) << text;
    EXPECT_NE(text.find("\n校历第 2、5、8、11、14 等 34 行已跳过：类型无法识别：vacation\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\n校历第 3、4、6、7、9 等 66 行已跳过：应有 5 列，此行有 1 列"), std::string::npos) << text;

    // A field of half a megabyte is quoted by its start.
    const CalendarRead huge = ParseCalendar(Csv("2026-10-01," + std::string(500000, '9') + ",holiday,,\n"));
    ASSERT_EQ(huge.problems.size(), 1u);
    EXPECT_EQ(huge.problems[0].why, "日期无法识别：" + std::string(39, '9') + "…");
}

TEST(CalendarParse, MissingHeaderIsNamedAndGbkTextIsRead) {
    // "国庆节" in GBK: a spreadsheet saved on a Chinese Windows.
    const CalendarRead read = ParseCalendar("2026-10-01,2026-10-07,holiday,,\xB9\xFA\xC7\xEC\xBD\xDA\n");
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].note, "国庆节");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0].line, 1);
}

struct PrecedenceCase {
    const char* what;
    const char* body;
    CalendarDate date;
    DayKind kind;
    int songWeekday;
};

class Precedence : public ::testing::TestWithParam<PrecedenceCase> {};

TEST_P(Precedence, Resolves) {
    const auto& c = GetParam();
    const DayRule rule = Resolve(c.body, c.date);
    EXPECT_EQ(rule.kind, c.kind) << c.what;
    EXPECT_EQ(rule.songWeekday, c.songWeekday) << c.what;
}

constexpr const char* kTerm =
    "2026-09-01,2027-01-31,rest-weekdays,6 7,\n"
    "2026-10-01,2026-10-07,holiday,,国庆节\n"
    "2026-10-10,2026-10-10,school-day,1,调休\n"
    "2026-12-28,2027-01-03,holiday,,元旦\n"
    "2027-01-02,2027-01-02,school-day,,元旦调休\n";

INSTANTIATE_TEST_SUITE_P(
    Calendar, Precedence,
    ::testing::Values(
        PrecedenceCase{"no calendar entry: a school day", "", {2026, 12, 12}, DayKind::School, 6},
        PrecedenceCase{"a weekday of the term", kTerm, {2026, 12, 8}, DayKind::School, 2},
        PrecedenceCase{"a Saturday of the term", kTerm, {2026, 12, 12}, DayKind::RestDay, 6},
        PrecedenceCase{"a Sunday after the term", kTerm, {2027, 2, 7}, DayKind::School, 7},
        PrecedenceCase{"inside the holiday", kTerm, {2026, 10, 4}, DayKind::Holiday, 7},
        PrecedenceCase{"a make-up Saturday with Monday's songs", kTerm, {2026, 10, 10}, DayKind::MakeUp, 1},
        PrecedenceCase{"a holiday over the year end, in December", kTerm, {2026, 12, 31}, DayKind::Holiday, 4},
        PrecedenceCase{"a holiday over the year end, in January", kTerm, {2027, 1, 3}, DayKind::Holiday, 7},
        PrecedenceCase{"a make-up day inside a holiday: the shorter wins", kTerm, {2027, 1, 2}, DayKind::MakeUp, 6},
        PrecedenceCase{
            "a range over a month end", "2026-10-30,2026-11-02,holiday,,\n", {2026, 11, 1}, DayKind::Holiday, 7},
        PrecedenceCase{"the day after a range over a month end",
                       "2026-10-30,2026-11-02,holiday,,\n",
                       {2026, 11, 3},
                       DayKind::School,
                       2},
        PrecedenceCase{
            "a leap day inside a range", "2028-02-28,2028-03-01,holiday,,\n", {2028, 2, 29}, DayKind::Holiday, 2},
        PrecedenceCase{"equal ranges: the later line wins",
                       "2026-11-11,2026-11-11,holiday,,\n2026-11-11,2026-11-11,group,考试.sav,\n",
                       {2026, 11, 11},
                       DayKind::Group,
                       3},
        PrecedenceCase{"equal ranges the other way round",
                       "2026-11-11,2026-11-11,group,考试.sav,\n2026-11-11,2026-11-11,holiday,,\n",
                       {2026, 11, 11},
                       DayKind::Holiday,
                       3},
        PrecedenceCase{"a group rings on a rest weekday",
                       "2026-09-01,2027-01-31,rest-weekdays,6 7,\n2026-12-05,2026-12-13,group,考试.sav,\n",
                       {2026, 12, 12},
                       DayKind::Group,
                       6},
        PrecedenceCase{"a shorter rest-weekdays entry overrides a longer one",
                       "2026-09-01,2027-01-31,rest-weekdays,6 7,\n2026-12-01,2026-12-31,rest-weekdays,7,\n",
                       {2026, 12, 13},
                       DayKind::RestDay,
                       7}),
    [](const auto& row) { return "case" + std::to_string(row.index); });

TEST(TodayOnly, ChangesApplyToTheirDateAndEndAtMidnight) {
    const CalendarDate monday{2026, 12, 7};
    const CalendarDate tuesday{2026, 12, 8};
    std::vector<CalendarEntry> entries = ParseCalendar(Csv("2026-10-01,2026-10-07,holiday,,\n")).entries;
    entries = SkipBell(entries, monday, {8, 45, 0}, 3);
    entries = SkipBell(entries, monday, {8, 45, 0}, 3);  // the same bell twice is one skip
    entries = ShiftToday(entries, monday, {7, 58, 30}, 10);
    entries = SilenceToday(entries, monday);

    const DayRule today = ResolveDay(entries, monday);
    EXPECT_TRUE(today.silenced);
    EXPECT_FALSE(today.Rings());
    EXPECT_EQ(today.skips.size(), 1u);
    EXPECT_TRUE(today.Skips({8, 45, 0}, 3));
    EXPECT_FALSE(today.Skips({8, 45, 0}, 4));
    EXPECT_EQ(today.shiftMinutes, 10);
    EXPECT_EQ(today.RingTime({8, 0, 0}), (TimeOfDay{8, 10, 0}));
    EXPECT_EQ(today.RingTime({7, 58, 0}), (TimeOfDay{7, 58, 0}));  // already rung when the shift was made
    EXPECT_EQ(today.RingTime({23, 55, 0}), (TimeOfDay{23, 59, 0}));

    // Midnight: the next date knows nothing of them, and the next write drops them.
    EXPECT_FALSE(ResolveDay(entries, tuesday).TodayChanged());
    EXPECT_TRUE(ResolveDay(entries, tuesday).Rings());
    test::TempFolder dir;
    ASSERT_TRUE(WriteCalendar(dir / kCalendarFile, entries, monday));
    EXPECT_EQ(ReadCalendar(dir / kCalendarFile).entries.size(), 4u);
    ASSERT_TRUE(WriteCalendar(dir / kCalendarFile, entries, tuesday));
    EXPECT_EQ(ReadCalendar(dir / kCalendarFile).entries.size(), 1u);

    EXPECT_EQ(RestoreToday(entries, monday).size(), 1u);
}

TEST(TodayOnly, ASecondShiftMovesOnlyTheBellsStillToCome) {
    const CalendarDate day{2026, 12, 7};
    auto entries = ShiftToday({}, day, {7, 59, 10}, 10);  // 08:00 now rings at 08:10
    // At 08:12 the bells set up to 08:02 have rung under the first shift; the rest move 5 minutes more.
    entries = ShiftToday(entries, day, {8, 12, 0}, 5);
    const DayRule rule = ResolveDay(entries, day);
    EXPECT_EQ(rule.shiftMinutes, 15);
    EXPECT_EQ(rule.RingTime({8, 2, 0}), (TimeOfDay{8, 2, 0}));
    EXPECT_EQ(rule.RingTime({8, 3, 0}), (TimeOfDay{8, 18, 0}));
    // Before any of them rang, a second shift adds to the first for all of them.
    auto early = ShiftToday(ShiftToday({}, day, {7, 0, 0}, 10), day, {7, 5, 0}, 10);
    EXPECT_EQ(ResolveDay(early, day).RingTime({8, 0, 0}), (TimeOfDay{8, 20, 0}));
}

TEST(CalendarFile, MissingFileIsNoCalendarAndAFifoIsRefusedWithoutBlocking) {
    test::TempFolder dir;
    const CalendarRead missing = ReadCalendar(dir / kCalendarFile);
    EXPECT_FALSE(missing.present);
    EXPECT_TRUE(missing.problems.empty());

    ASSERT_EQ(::mkfifo((dir / kCalendarFile).c_str(), 0600), 0);
    const CalendarRead fifo = ReadCalendar(dir / kCalendarFile);
    EXPECT_TRUE(fifo.present);
    ASSERT_EQ(fifo.problems.size(), 1u);
    EXPECT_NE(fifo.problems[0].why.find("不是普通文件"), std::string::npos);
}

TEST(CalendarFile, AHugeFileIsReadUpToItsCapAndARewriteKeepsItsTail) {
    test::TempFolder dir;
    const CalendarDate day{2026, 12, 7};
    std::string text = Csv("");
    const std::string line = "2026-10-01,2026-10-01,holiday,,国庆节\n";
    while (text.size() < kCalendarMaxBytes + 4096) text += line;
    Put(dir / kCalendarFile, text);
    const CalendarRead read = ReadCalendar(dir / kCalendarFile);
    EXPECT_GT(read.entries.size(), 100u);
    EXPECT_LE(read.entries.size(), kCalendarMaxEntries);
    ASSERT_FALSE(read.problems.empty());
    EXPECT_NE(CalendarProblemsText(read.problems).find("只读取了前面部分"), std::string::npos);

    // 今天不响铃 goes first, where the reader finds it; every line past the cap is still there.
    ASSERT_TRUE(WriteCalendar(dir / kCalendarFile, SilenceToday(read.entries, day), day));
    EXPECT_EQ(Text(dir / kCalendarFile),
              Csv("2026-12-07,2026-12-07,today-silent,,\n") + text.substr(std::string(kCalendarHeader).size() + 1));
    EXPECT_TRUE(ResolveDay(ReadCalendar(dir / kCalendarFile).entries, day).silenced);
}

TEST(CalendarRewrite, KeepsEveryLineItCannotReadByteForByteInItsPlaceAndBacksUpTheOldFile) {
    test::TempFolder dir;
    const auto file = dir / kCalendarFile;
    const CalendarDate day{2026, 12, 7};
    const std::string before = "\xEF\xBB\xBF" + std::string(kCalendarHeader) + "\r\n" +
                               "2026-12-06,2026-12-06,today-silent,,\r\n"          // yesterday's: dropped
                               "2026-10-01,2026-10-07,holiday,,国庆节,中秋节\r\n"  // a comma in the note: six columns
                               "2026-09-01,2027-01-31,rest-weekdays,6 7,第一学期\r\n"
                               "2027-04-31,,holiday,,\r\n"
                               "\r\n"
                               "2026-11-11,,group,期中考试.sav,考试\r\n"
                               "2026-12-24,2026-12-25,holidy,,圣诞\r\n"
                               "2026-10-10,,school-day,1,调休\r\n"
                               "2027-01-01,2027-01-01,holiday,,\"元旦";  // a quote left open at the end
    Put(file, before);
    const std::vector<std::string> reasons = Reasons(ReadCalendar(file));
    ASSERT_EQ(reasons.size(), 4u);

    const auto change = [&](std::vector<CalendarEntry>& entries) {
        entries = SilenceToday(std::move(entries), day);
        std::erase_if(entries, [](const CalendarEntry& e) { return e.kind == CalendarKind::SchoolDay; });
        for (auto& e : entries) {
            if (e.kind == CalendarKind::Group) e.note = "期中";
        }
        entries.push_back(Entry({2026, 12, 31}, {2026, 12, 31}, CalendarKind::Holiday, "跨年, 晚会"));
        return true;
    };
    ASSERT_EQ(ChangeCalendar(file, day, change), CalendarWrite::Written);
    const std::string after = "\xEF\xBB\xBF" + std::string(kCalendarHeader) + "\r\n" +
                              "2026-12-07,2026-12-07,today-silent,,\n"
                              "2026-10-01,2026-10-07,holiday,,国庆节,中秋节\r\n"
                              "2026-09-01,2027-01-31,rest-weekdays,6 7,第一学期\r\n"
                              "2027-04-31,,holiday,,\r\n"
                              "\r\n"
                              "2026-11-11,2026-11-11,group,期中考试.sav,期中\n"
                              "2026-12-24,2026-12-25,holidy,,圣诞\r\n"
                              "2026-12-31,2026-12-31,holiday,,\"跨年, 晚会\"\n"
                              "2027-01-01,2027-01-01,holiday,,\"元旦";
    EXPECT_EQ(Text(file), after);
    EXPECT_EQ(Text(dir / kCalendarBackupFile), before);
    const CalendarRead read = ReadCalendar(file);
    EXPECT_EQ(Reasons(read), reasons) << "the lines are still named until they are mended";
    EXPECT_TRUE(ResolveDay(read.entries, day).silenced);

    // A change that changes nothing writes nothing; a change refused by the caller neither.
    EXPECT_EQ(ChangeCalendar(file, day, [](auto&) { return true; }), CalendarWrite::Written);
    EXPECT_EQ(ChangeCalendar(file, day, [](auto& e) { return e.clear(), false; }), CalendarWrite::Abandoned);
    EXPECT_EQ(Text(dir / kCalendarBackupFile), before);
    ASSERT_TRUE(WriteCalendar(file, RestoreToday(read.entries, day), day));
    EXPECT_EQ(Text(dir / kCalendarBackupFile), after);

    // A spreadsheet's GBK file is written back as UTF-8, its unreadable line too; the backup keeps its bytes.
    const std::string gbk = Csv("2026-13-01,,holiday,,\xB9\xFA\xC7\xEC\n");  // 国庆
    Put(file, gbk);
    ASSERT_TRUE(WriteCalendar(file, SilenceToday({}, day), day));
    EXPECT_EQ(Text(file), Csv("2026-12-07,2026-12-07,today-silent,,\n2026-13-01,,holiday,,国庆\n"));
    EXPECT_EQ(Text(dir / kCalendarBackupFile), gbk);
}

TEST(CalendarRewrite, TodayOnlyChangesAreNeverLostToTheCapAndNothingPastItIsCut) {
    test::TempFolder dir;
    const auto file = dir / kCalendarFile;
    const CalendarDate day{2026, 12, 7};
    std::string body;
    for (int i = 0; i < static_cast<int>(kCalendarMaxEntries); ++i)
        body += DateText(CivilFromDays(DaysFromCivil({2030, 1, 1}) + i)) + ",,holiday,,\n";
    const std::string pastCap =
        "2026-12-08,2026-12-08,holiday,,过了上限\n"
        "2026-12-07,2026-12-07,today-shift,10 07:00,\n";  // by hand, at the end: still read
    Put(file, Csv(body + pastCap));
    CalendarRead read = ReadCalendar(file);
    ASSERT_EQ(read.entries.size(), kCalendarMaxEntries + 1);
    EXPECT_EQ(ResolveDay(read.entries, day).shiftMinutes, 10);
    EXPECT_EQ(CalendarProblemsText(read.problems), "校历第 10002 行已跳过：条目超过 10000 个，从此行起的条目未读");

    const auto silence = [&](std::vector<CalendarEntry>& entries) {
        entries = SilenceToday(std::move(entries), day);
        return true;
    };
    ASSERT_EQ(ChangeCalendar(file, day, silence), CalendarWrite::Written);
    EXPECT_EQ(Text(file), Csv("2026-12-07,2026-12-07,today-shift,10 07:00,\n2026-12-07,2026-12-07,today-silent,,\n" +
                              body + "2026-12-08,2026-12-08,holiday,,过了上限\n"));
    read = ReadCalendar(file);
    EXPECT_TRUE(ResolveDay(read.entries, day).silenced);
    EXPECT_EQ(read.entries.size(), kCalendarMaxEntries + 2);

    // One more entry would not be read: refused, and the file stays as it is.
    const std::string full = Text(file);
    std::string why;
    const auto add = [](std::vector<CalendarEntry>& entries) {
        entries.push_back(Entry({2027, 5, 1}, {2027, 5, 5}, CalendarKind::Holiday, "劳动节"));
        return true;
    };
    EXPECT_EQ(ChangeCalendar(file, day, add, &why), CalendarWrite::Failed);
    EXPECT_EQ(why, "校历最多 10000 个条目，再多程序就读不到了");
    EXPECT_EQ(Text(file), full);
    // One fewer lets the line past the cap in.
    ASSERT_EQ(ChangeCalendar(file, day, [](auto& entries) { return entries.pop_back(), true; }),
              CalendarWrite::Written);
    EXPECT_EQ(ResolveDay(ReadCalendar(file).entries, {2026, 12, 8}).kind, DayKind::Holiday);
}

TEST(CalendarImport, WeekendsAreOfferedOnlyWhereNoRestWeekdaysEntrySpeaksForAMakeUpDay) {
    const std::vector<CalendarEntry> imported{
        Entry({2026, 10, 1}, {2026, 10, 7}, CalendarKind::Holiday, "国庆节"),
        Entry({2026, 10, 10}, {2026, 10, 10}, CalendarKind::SchoolDay, "国庆节 补班"),
        Entry({2027, 1, 1}, {2027, 1, 3}, CalendarKind::Holiday, "元旦")};
    const auto ranges = [](const std::vector<CalendarEntry>& entries) {
        std::string out;
        for (const auto& e : entries)
            out += DateText(e.first) + ".." + DateText(e.last) + " " + KindName(e.kind) + " " + e.argument + ";";
        return out;
    };
    EXPECT_EQ(ranges(WeekendsForMakeUpDays({}, imported)), "2026-10-01..2027-01-03 rest-weekdays 6 7;");
    // A term with Saturday classes has said what it rests: nothing is offered.
    auto term = Entry({2026, 9, 1}, {2027, 1, 31}, CalendarKind::RestWeekdays, "");
    term.argument = "7";
    EXPECT_EQ(ranges(WeekendsForMakeUpDays({term}, imported)), "");
    // Only the days no rest-weekdays entry speaks for are offered.
    term.first = {2026, 10, 5};
    term.last = {2026, 11, 30};
    EXPECT_EQ(ranges(WeekendsForMakeUpDays({term}, imported)), "");
    term.first = {2026, 11, 1};
    EXPECT_EQ(ranges(WeekendsForMakeUpDays({term}, imported)),
              "2026-10-01..2026-10-31 rest-weekdays 6 7;2026-12-01..2027-01-03 rest-weekdays 6 7;");
    // Without a make-up day nothing depends on the weekends.
    EXPECT_EQ(ranges(WeekendsForMakeUpDays({}, {imported[0], imported[2]})), "");
}

TEST(CalendarFile, AFailedWriteLeavesTheOldFileWhole) {
    test::TempFolder dir;
    const CalendarDate day{2026, 12, 7};
    auto entries = SilenceToday({}, day);
    ASSERT_TRUE(WriteCalendar(dir / kCalendarFile, entries, day));
    const auto before = test::ReadAll(dir / kCalendarFile);
    ::chmod(dir.path().c_str(), 0500);
    const bool written = WriteCalendar(dir / kCalendarFile, RestoreToday(entries, day), day);
    ::chmod(dir.path().c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_FALSE(written);
    }
    if (!written) {
        EXPECT_EQ(test::ReadAll(dir / kCalendarFile), before);
    }
}

}  // namespace
}  // namespace lingchao
