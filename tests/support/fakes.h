#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/dialogs.h"
#include "base/media_player.h"
#include "base/media_probe.h"
#include "scheduler/checktime.h"
#include "scheduler/clock.h"
#include "store/jilu.h"
#include "store/joblist.h"

namespace lingchao::test {

// A clock the test sets and moves.
class FakeClock final : public Clock {
public:
    FakeClock(CalendarDate date, TimeOfDay time) : now_(MakeLocalDateTime(date, time)) {}
    LocalDateTime Now() const override { return now_; }
    void Set(CalendarDate date, TimeOfDay time, int ms = 0) { now_ = MakeLocalDateTime(date, time, ms); }
    void SetTime(TimeOfDay time) { Set(now_.date, time); }
    void AdvanceSeconds(int seconds) {
        const LocalDateTime t = AddSeconds(now_, seconds);
        Set(t.date, t.time);
    }

private:
    LocalDateTime now_;
};

// Records what the program asked of the player.
class FakePlayer final : public MediaPlayer {
public:
    void SetFileName(const std::string& path) override {
        fileName = path;
        calls.push_back("FileName=" + path);
    }
    std::string FileName() const override { return fileName; }
    void Play() override { calls.push_back("Play"); }
    void Pause() override { calls.push_back("Pause"); }
    void Stop() override { calls.push_back("Stop"); }
    void Prepare(const std::string& path) override { calls.push_back("Prepare=" + path); }
    void SetEndOfStreamHandler(std::function<void()> handler) override { endOfStream = std::move(handler); }

    std::string fileName;
    std::vector<std::string> calls;
    std::function<void()> endOfStream;
};

// Knows which paths are bad and records what it was asked; safe to use from a worker thread. While `blocked` is
// set, a pass waits as a very long one would, until it is cleared or the pass is cancelled.
class FakeProbe final : public MediaProbe {
public:
    std::vector<MusicProblem> Check(const std::string& path) override;
    std::optional<Findings> CheckAll(const std::vector<std::string>& paths, const CancelToken& cancel) override;

    std::vector<std::string> Asked() const;  // every path checked, once per time it was checked

    std::map<std::string, std::string> bad;  // path -> reason; set before the probe is used
    std::atomic<bool> blocked{false};
    std::atomic<int> passes{0};  // passes begun

private:
    mutable std::mutex mutex_;
    std::vector<std::string> asked_;
};

class FakeSchedulerHost final : public SchedulerHost {
public:
    void ShowClock(const std::string& time, const std::string& weekdayCode) override {
        clockText = time;
        weekday = weekdayCode;
    }
    void StartFireLockTimer() override {
        ++lockTimerStarts;
        order.push_back("fire-lock");
    }
    void ConfirmShutdown() override {
        ++shutdownConfirmations;
        order.push_back("confirm-shutdown");
    }
    void JobExamined(const JobExamination& e) override { examined.push_back(e); }
    void ClockJumped(const LocalDateTime& from, const LocalDateTime& to) override { jumps.emplace_back(from, to); }
    void BellsLeftChanged(const BellsLeft& left) override { bellsLeft.push_back(left); }
    void IndexReread() override { ++rereads; }

    std::string clockText, weekday;
    int rereads = 0;
    int lockTimerStarts = 0;
    int shutdownConfirmations = 0;
    std::vector<std::string> order;  // fire-lock and confirm-shutdown, as they came
    std::vector<JobExamination> examined;
    std::vector<std::pair<LocalDateTime, LocalDateTime>> jumps;
    std::vector<BellsLeft> bellsLeft;
};

class FakeList final : public JobListView {
public:
    void Clear() override {
        rows.clear();
        selected = -1;
    }
    void AddRow(const std::string& text) override { rows.push_back(text); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectedRow() const override { return selected; }
    void SelectRow(int row) override {
        if (row >= 0 && row < RowCount()) selected = row;
    }
    std::string RowText(int row) const override { return rows.at(static_cast<std::size_t>(row)); }

    std::vector<std::string> rows;
    int selected = -1;
};

// Answers message boxes and file dialogs from a script and records what was asked.
class ScriptedDialogs final : public Dialogs {
public:
    MessageAnswer Message(const MessageRequest& request) override;
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> OpenFolder(const FileDialogRequest& request) override;

    std::deque<MessageAnswer> answers;             // empty: the box's cancel button
    std::deque<std::optional<std::string>> files;  // empty: cancelled
    std::vector<MessageRequest> messages;
    std::vector<FileDialogRequest> fileRequests;
};

class FakeEditor final : public JobEditorLauncher {
public:
    void ShowModal(const std::string& caption, const JobEditorFields& fields) override {
        captions.push_back(caption);
        shown.push_back(fields);
        if (onShow) onShow(fields);
    }
    std::vector<std::string> captions;
    std::vector<JobEditorFields> shown;
    std::function<void(const JobEditorFields&)> onShow;
};

}  // namespace lingchao::test
