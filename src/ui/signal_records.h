#pragma once

#include <QDialog>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/dialogs.h"

class QLabel;
class QTableWidget;

namespace lingchao {

enum class SignalEnding {
    Ended,     // its signal-end line: `how` says why (结束, its steps are over, …)
    Abnormal,  // the program stopped while it sounded
    Running,   // no end in the log yet
};

// One drill or emergency signal as the bell log tells it, from its start to its end.
struct SignalRecord {
    std::string date;                // 2026-12-07, of its start (of its end when the start has rotated away)
    std::string start;               // 08:05:12; "" when the start is no longer in the log
    std::string signal;              // the plan's name
    std::string kind;                // 演练 / 紧急
    std::string origin;              // this PC, command line, …
    std::vector<std::string> steps;  // "+00:00:00 第1/3步 就地避险", "+00:01:40 下一步", …
    std::string endDate;             // "" while running
    std::string end;                 // 08:07:17
    std::string duration;            // 00:02:05, as the end line says; "" when not known
    SignalEnding ending = SignalEnding::Running;
    std::string how;  // the end line's reason, as logged
    int heldBells = 0;
};

// The records in `appFolder`'s bell-log.1.csv then bell-log.csv, oldest first. Lines it cannot read (damaged,
// cut off, another format) are skipped.
std::vector<SignalRecord> ReadSignalRecords(const std::filesystem::path& appFolder);
// The same from the text of the two files, older first.
std::vector<SignalRecord> ParseSignalRecords(const std::vector<std::string_view>& logs);

// How it ended, in Chinese: 结束, 步骤完成, 异常结束（程序在鸣响时停止）, 进行中, …
std::string SignalEndingText(const SignalRecord& record);

// The header of the export.
inline constexpr const char* kSignalRecordsHeader = "日期,开始,预案,类型,发起,结束,用时,结束方式,暂停的铃声,步骤";
// The records as CSV (UTF-8, no BOM), one a line in the order given; the steps joined by "；".
std::string SignalRecordsCsv(const std::vector<SignalRecord>& records);

// "演练记录": every signal the log still holds, newest first, and 导出 CSV….
class SignalRecordsWindow final : public QDialog {
    Q_OBJECT
public:
    SignalRecordsWindow(std::filesystem::path appFolder, Dialogs& dialogs, QWidget* parent = nullptr);

    // Reads the log again.
    void Reload();
    // Asks where, writes the file with a BOM (spreadsheet programs then read the Chinese); a failure is shown.
    // True when written.
    bool ExportClick();
    // As shown: newest first.
    const std::vector<SignalRecord>& records() const { return records_; }

private:
    std::filesystem::path appFolder_;
    Dialogs& dialogs_;
    std::vector<SignalRecord> records_;
    QTableWidget* table_ = nullptr;
    QLabel* empty_ = nullptr;
};

}  // namespace lingchao
