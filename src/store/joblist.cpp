#include "store/joblist.h"

#include <system_error>

namespace lingchao {

void JobList::MoveJobUp() {
    const int r = s_.list.SelectedRow();
    if (r <= 0) return;
    s_.jilu.SwapJobRecords(kDefaultGroup, r + 1, -1);
    s_.jilu.LoadJobTable(kDefaultGroup);
    s_.list.SelectRow(r - 1);
}

void JobList::MoveJobDown() {
    const int r = s_.list.SelectedRow();
    const int c = s_.list.RowCount();
    if (r == -1 || r >= c - 1) return;
    s_.jilu.SwapJobRecords(kDefaultGroup, r + 1, +1);
    s_.jilu.LoadJobTable(kDefaultGroup);
    s_.list.SelectRow(r + 1);
}

bool JobList::RemoveJob() {
    const int r = s_.list.SelectedRow();
    if (r == -1) return false;
    const MessageRequest ask{"确定要删除任务吗?", "提示", MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (s_.dialogs.Message(ask) != MessageAnswer::Ok) return false;
    const bool ok = s_.jilu.DeleteJobRecord(kDefaultGroup, r + 1, s_.list.RowCount());
    s_.jilu.LoadJobTable(kDefaultGroup);
    return ok;
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
    s_.jilu.SetJobState(kDefaultGroup, state, r + 1);
    s_.list.SelectRow(r);
}

void JobList::PlayJob() { SetSelectedState("START"); }
void JobList::PauseJob() { SetSelectedState("PAUSE"); }

bool JobList::PlayAll() {
    if (s_.list.RowCount() < 1) return false;
    s_.jilu.SetAllJobStates(kDefaultGroup, "START");
    return true;
}

bool JobList::PauseAll() {
    if (s_.list.RowCount() < 1) return false;
    s_.jilu.SetAllJobStates(kDefaultGroup, "PAUSE");
    return true;
}

void JobList::RunSelectedJob() { RunJob(s_.list.SelectedRow() + 1); }

bool JobList::ClearJobs() {
    const MessageRequest ask{"确定清除所用任务吗？", "清空任务", MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (s_.dialogs.Message(ask) != MessageAnswer::Ok) return false;
    s_.list.Clear();
    std::error_code ec;
    std::filesystem::remove(s_.jilu.Group(kDefaultGroup).Path(), ec);
    return true;
}

}  // namespace lingchao
