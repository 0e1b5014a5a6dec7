#include "ui/signal_records.h"

#include <QBrush>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "base/csv.h"
#include "base/file_util.h"
#include "base/text.h"

namespace lingchao {

namespace {

// The log rotates at 1 MiB; a little more is read so that a file that grew meanwhile is still read whole.
constexpr std::uint64_t kLogReadCap = 4ull * 1024 * 1024;

constexpr std::size_t kDate = 0;
constexpr std::size_t kStamp = 2;
constexpr std::size_t kJobName = 5;
constexpr std::size_t kOutcome = 7;

bool Digits(std::string_view text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

bool IsDate(std::string_view text) {
    return text.size() == 10 && Digits(text, 0, 4) && text[4] == '-' && Digits(text, 5, 2) && text[7] == '-' &&
           Digits(text, 8, 2);
}

int Number(std::string_view text, std::size_t from, std::size_t count) {
    int n = 0;
    for (std::size_t i = from; i < from + count; ++i) n = n * 10 + (text[i] - '0');
    return n;
}

// "2026-12-07 08:05:12.345" as milliseconds of the local calendar (only differences are used).
std::optional<std::int64_t> StampMs(std::string_view stamp) {
    if (stamp.size() < 23 || !IsDate(stamp.substr(0, 10)) || stamp[10] != ' ' || !Digits(stamp, 11, 2) ||
        stamp[13] != ':' || !Digits(stamp, 14, 2) || stamp[16] != ':' || !Digits(stamp, 17, 2) || stamp[19] != '.' ||
        !Digits(stamp, 20, 3)) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const year_month_day date{year{Number(stamp, 0, 4)}, month{static_cast<unsigned>(Number(stamp, 5, 2))},
                              day{static_cast<unsigned>(Number(stamp, 8, 2))}};
    if (!date.ok()) return std::nullopt;
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    return ((days * 24 + Number(stamp, 11, 2)) * 60 + Number(stamp, 14, 2)) * 60000 + Number(stamp, 17, 2) * 1000 +
           Number(stamp, 20, 3);
}

std::string Offset(std::int64_t ms) {
    const long long s = ms < 0 ? 0 : ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "+%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "第1/3步: 就地避险 at +00:00:00" style tails: the text before " at +" and the "+hh:mm:ss" after it.
std::pair<std::string, std::string> SplitAt(std::string_view text) {
    const std::size_t at = text.rfind(" at +");
    if (at == std::string_view::npos) return {std::string(text), ""};
    return {std::string(text.substr(0, at)), std::string(text.substr(at + 4))};
}

struct Reader {
    std::vector<SignalRecord> records;
    std::optional<SignalRecord> open;
    std::optional<std::int64_t> openedMs;  // its start's stamp, to time what has no time of its own

    void Close(SignalEnding ending) {
        if (!open) return;
        open->ending = ending;
        records.push_back(std::move(*open));
        open.reset();
        openedMs.reset();
    }

    std::string AtOf(const std::string& logged, std::string_view stamp) const {
        if (!logged.empty()) return logged;
        const auto ms = StampMs(stamp);
        if (!ms || !openedMs) return "";
        return Offset(*ms - *openedMs);
    }

    void Step(const std::string& logged, std::string_view stamp, const std::string& text) {
        const std::string at = AtOf(logged, stamp);
        open->steps.push_back(at.empty() ? text : at + " " + text);
    }

    void Line(const std::vector<std::string>& f) {
        const std::string& date = f[kDate];
        const std::string& stamp = f[kStamp];
        const std::string& name = f[kJobName];
        const std::string_view outcome = f[kOutcome];
        const std::string time = stamp.size() >= 19 ? stamp.substr(11, 8) : "";
        if (StartsWith(outcome, "held")) {
            // "held: 演练 地震演练", or "held (shifted +5 min): …": a bell kept silent by the signal.
            const std::size_t colon = outcome.find(": ");
            if (open && colon != std::string_view::npos &&
                outcome.substr(colon + 2) == open->kind + " " + open->signal) {
                ++open->heldBells;
            }
            return;
        }
        if (!StartsWith(outcome, "signal-")) return;
        if (StartsWith(outcome, "signal-start: ")) {
            // A start while another is open: that one never logged its end, so it did not end well.
            Close(SignalEnding::Abnormal);
            const std::string_view rest = outcome.substr(14);
            const std::size_t paren = rest.rfind(" (");
            SignalRecord r;
            r.date = date;
            r.start = time;
            r.signal = name;
            r.kind = std::string(rest.substr(0, paren));
            if (paren != std::string_view::npos && rest.back() == ')') {
                r.origin = std::string(rest.substr(paren + 2, rest.size() - paren - 3));
                // The log keeps its English words; the school's record says them in Chinese.
                if (r.origin == "this PC") r.origin = "本机";
                if (r.origin == "command line") r.origin = "命令行";
            }
            open = std::move(r);
            openedMs = StampMs(stamp);
            return;
        }
        if (StartsWith(outcome, "signal-end: ")) {
            const std::string_view rest = outcome.substr(12);
            if (!open || open->signal != name) {
                // Its start has rotated out of the log: the end alone is still worth a line.
                Close(SignalEnding::Abnormal);
                SignalRecord r;
                r.date = date;
                r.signal = name;
                open = std::move(r);
            }
            open->endDate = date;
            open->end = time;
            if (StartsWith(rest, "用时 ")) {
                const std::string_view tail = rest.substr(std::string_view("用时 ").size());
                const std::size_t paren = tail.find(" (");
                open->duration = std::string(tail.substr(0, paren));
                if (paren != std::string_view::npos && tail.back() == ')') {
                    open->how = std::string(tail.substr(paren + 2, tail.size() - paren - 3));
                }
                Close(SignalEnding::Ended);
            } else {
                open->how = std::string(rest);
                Close(SignalEnding::Abnormal);
            }
            return;
        }
        if (!open || open->signal != name) return;  // a step whose start is gone: it tells nothing alone
        if (StartsWith(outcome, "signal-step ")) {
            const auto [head, at] = SplitAt(outcome.substr(12));
            const std::size_t colon = head.find(": ");
            std::string text = "第" + head.substr(0, colon) + "步";
            if (colon != std::string::npos) text += " " + head.substr(colon + 2);
            Step(at, stamp, text);
        } else if (StartsWith(outcome, "signal-end-step")) {
            const auto [head, at] = SplitAt(outcome.substr(15));
            Step(at, stamp, StartsWith(head, ": ") ? "结束后：" + head.substr(2) : std::string("结束后的声音"));
        } else if (outcome == "signal-next") {
            Step("", stamp, "下一步");
        } else if (StartsWith(outcome, "signal-volume: ")) {
            Step("", stamp, "音量：" + std::string(outcome.substr(15)));
        } else if (StartsWith(outcome, "signal-sound-failed: ")) {
            Step("", stamp, "声音无法播放：" + std::string(outcome.substr(21)));
        }
    }
};

std::string Text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

std::vector<SignalRecord> ParseSignalRecords(const std::vector<std::string_view>& logs) {
    Reader reader;
    for (const std::string_view log : logs) {
        std::size_t from = 0;
        while (from < log.size()) {
            std::size_t to = log.find('\n', from);
            if (to == std::string_view::npos) to = log.size();
            // Line by line, not record by record: a line with a stray quote must not swallow the rest of the file.
            const std::string_view line = log.substr(from, to - from);
            from = to + 1;
            if (!IsValidUtf8(line)) continue;
            std::size_t pos = 0;
            int lines = 0;
            bool badQuote = false;
            const std::vector<std::string> fields = NextCsvRecord(line, pos, lines, badQuote);
            if (badQuote || fields.size() <= kOutcome || !IsDate(fields[kDate]) || !StampMs(fields[kStamp])) continue;
            reader.Line(fields);
        }
    }
    reader.Close(SignalEnding::Running);
    return std::move(reader.records);
}

std::vector<SignalRecord> ReadSignalRecords(const std::filesystem::path& appFolder) {
    std::vector<std::string> texts;
    for (const char* name : {"bell-log.1.csv", "bell-log.csv"}) {
        const StoredFile file = ReadStoredFile(appFolder / name, kLogReadCap);
        if (file.usable()) texts.push_back(Text(file.bytes));
    }
    std::vector<std::string_view> views(texts.begin(), texts.end());
    return ParseSignalRecords(views);
}

std::string SignalEndingText(const SignalRecord& record) {
    switch (record.ending) {
        case SignalEnding::Running:
            return "进行中";
        case SignalEnding::Abnormal:
            return "异常结束（程序在鸣响时停止）";
        case SignalEnding::Ended:
            break;
    }
    if (record.how == "结束") return "结束";
    if (record.how == "结束 pressed again") return "结束（再按结束，解除音中止）";
    if (record.how == "its steps are over") return "步骤完成";
    if (record.how == "the program ended") return "程序退出";
    return record.how.empty() ? "结束" : record.how;
}

namespace {

std::string EndText(const SignalRecord& r) {
    if (r.end.empty() || r.endDate.empty() || r.endDate == r.date) return r.end;
    return r.endDate + " " + r.end;
}

std::string StepsText(const SignalRecord& r, const char* separator) {
    std::string text;
    for (const std::string& step : r.steps) text += (text.empty() ? "" : separator) + step;
    return text;
}

}  // namespace

std::string SignalRecordsCsv(const std::vector<SignalRecord>& records) {
    std::string out = std::string(kSignalRecordsHeader) + "\n";
    for (const SignalRecord& r : records) {
        for (const std::string& field : {r.date, r.start, r.signal, r.kind, r.origin, EndText(r), r.duration,
                                         SignalEndingText(r), std::to_string(r.heldBells)}) {
            out += CsvField(field) + ",";
        }
        out += CsvField(StepsText(r, "；")) + "\n";
    }
    return out;
}

SignalRecordsWindow::SignalRecordsWindow(std::filesystem::path appFolder, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      appFolder_(std::move(appFolder)),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("signalRecordsWindow"));
    setWindowTitle(QStringLiteral("演练记录"));

    table_ = new QTableWidget(0, 10, this);
    table_->setObjectName(QStringLiteral("signalRecordsTable"));
    table_->setHorizontalHeaderLabels(QString::fromUtf8(kSignalRecordsHeader).split(QLatin1Char(',')));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    empty_ = new QLabel(QStringLiteral("铃声记录里还没有演练或紧急信号。"), this);
    empty_->setObjectName(QStringLiteral("signalRecordsEmpty"));

    auto* exportButton = new QPushButton(QStringLiteral("导出 CSV…"), this);
    exportButton->setObjectName(QStringLiteral("signalRecordsExport"));
    connect(exportButton, &QPushButton::clicked, this, [this] { ExportClick(); });
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("signalRecordsClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(exportButton);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(empty_);
    column->addWidget(table_, 1);
    column->addLayout(bottom);
    resize(900, 420);
    Reload();
}

void SignalRecordsWindow::Reload() {
    records_ = ReadSignalRecords(appFolder_);
    std::reverse(records_.begin(), records_.end());
    table_->setRowCount(static_cast<int>(records_.size()));
    for (int row = 0; row < static_cast<int>(records_.size()); ++row) {
        const SignalRecord& r = records_[static_cast<std::size_t>(row)];
        const std::vector<std::string> cells{r.date,
                                             r.start,
                                             r.signal,
                                             r.kind,
                                             r.origin,
                                             EndText(r),
                                             r.duration,
                                             SignalEndingText(r),
                                             std::to_string(r.heldBells),
                                             StepsText(r, "；")};
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(cells[static_cast<std::size_t>(c)]));
            if (r.kind == "紧急") item->setForeground(QBrush(QColor(0xc6, 0x28, 0x28)));
            table_->setItem(row, c, item);
        }
        table_->item(row, 9)->setToolTip(QString::fromStdString(StepsText(r, "\n")));
    }
    table_->resizeColumnsToContents();
    empty_->setVisible(records_.empty());
}

bool SignalRecordsWindow::ExportClick() {
    const std::optional<std::string> path =
        dialogs_.SaveFile({"导出演练记录", "CSV 文件|*.csv|所有文件|*|", appFolder_.string()});
    if (!path) return false;
    const std::string text = "\xEF\xBB\xBF" + SignalRecordsCsv(records_);
    std::string failure;
    if (ReplaceFileAtomically(*path, Bytes(text.begin(), text.end()), &failure)) return true;
    dialogs_.Message({"无法导出演练记录：" + failure, "演练记录", MessageIcon::Information, MessageButtons::Ok, 0});
    return false;
}

}  // namespace lingchao
