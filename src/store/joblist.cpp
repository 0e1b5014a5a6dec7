#include "store/joblist.h"

namespace lingchao {

bool JobList::Saved(bool ok) {
    if (ok) return true;
    // The list was reloaded from the file: it shows the timetable as it really is, without the change.
    s_.dialogs.Message(
        {"任务表没有保存！\n" + s_.jilu.LastFailure(), "提示", MessageIcon::Information, MessageButtons::Ok, 0});
    return false;
}

void JobList::MoveJobUp() {
    const int r = s_.list.SelectedRow();
    if (r <= 0) return;
    const bool ok = s_.jilu.SwapJobRecords(kDefaultGroup, r + 1, -1);
    s_.jilu.LoadJobTable(kDefaultGroup);
    s_.list.SelectRow(ok ? r - 1 : r);
    Saved(ok);
}

void JobList::MoveJobDown() {
    const int r = s_.list.SelectedRow();
    const int c = s_.list.RowCount();
    if (r == -1 || r >= c - 1) return;
    const bool ok = s_.jilu.SwapJobRecords(kDefaultGroup, r + 1, +1);
    s_.jilu.LoadJobTable(kDefaultGroup);
    s_.list.SelectRow(ok ? r + 1 : r);
    Saved(ok);
}

bool JobList::RemoveJob() {
    const int r = s_.list.SelectedRow();
    if (r == -1) return false;
    const MessageRequest ask{"确定要删除任务吗?", "提示", MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (s_.dialogs.Message(ask) != MessageAnswer::Ok) return false;
    const bool ok = s_.jilu.DeleteJobRecord(kDefaultGroup, r + 1, s_.list.RowCount());
    s_.jilu.LoadJobTable(kDefaultGroup);
    return Saved(ok);
}

void JobList::NewJob() {
    JobEditorFields fields;
    fields.number = std::to_string(s_.list.RowCount() + 1);
    s_.editor.ShowModal("新建任务", fields);
}

void JobList::EditJob() {
    const int r = s_.list.SelectedRow();
    if (r < 0) return;
    s_.editor.ShowModal("修改任务", s_.jilu.LoadJobIntoEditor(kDefaultGroup, r + 1));
}

void JobList::RunJob(int n) {
    if (n < 1) return;
    const JobRecord record = s_.jilu.Group(kDefaultGroup).Read(n);
    s_.player.SetFileName(s_.pickJobMusic(record));
}

void JobList::SetSelectedState(const std::string& state) {
    const int r = s_.list.SelectedRow();
    if (r == -1) return;
    const bool ok = s_.jilu.SetJobState(kDefaultGroup, state, r + 1);
    s_.list.SelectRow(r);
    Saved(ok);
}

void JobList::PlayJob() { SetSelectedState("START"); }
void JobList::PauseJob() { SetSelectedState("PAUSE"); }

bool JobList::PlayAll() {
    if (s_.list.RowCount() < 1) return false;
    return Saved(s_.jilu.SetAllJobStates(kDefaultGroup, "START"));
}

bool JobList::PauseAll() {
    if (s_.list.RowCount() < 1) return false;
    return Saved(s_.jilu.SetAllJobStates(kDefaultGroup, "PAUSE"));
}

void JobList::RunSelectedJob() { RunJob(s_.list.SelectedRow() + 1); }

bool JobList::ClearJobs() {
    const MessageRequest ask{"确定清除所用任务吗？", "清空任务", MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (s_.dialogs.Message(ask) != MessageAnswer::Ok) return false;
    s_.list.Clear();
    if (s_.jilu.RemoveGroupFile(kDefaultGroup)) return true;
    // The jobs are still in the file: show them again rather than an empty list that would not last.
    s_.jilu.LoadJobTable(kDefaultGroup);
    return Saved(false);
}

}  // namespace lingchao
