#include "store/jilu.h"

#include <charconv>

#include "base/text.h"
#include "store/gbk.h"

namespace lingchao {
namespace {

std::int16_t ToJobNumber(std::string_view text) {
    text = Trim(text);
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || ptr != text.data() + text.size() || value < 1 || value > 32767) return 0;
    return static_cast<std::int16_t>(value);
}

void PatchState(RecordBytes& record, const std::string& state) {
    const std::string gbk = EncodeFixedGbk(state, job_layout::kStateWidth);
    std::copy(gbk.begin(), gbk.end(), record.begin() + job_layout::kStateOffset);
}

}  // namespace

JobRecord JobFromEditor(const JobEditorFields& fields) {
    JobRecord r;
    r.JobState = fields.state;
    r.JobNo = ToJobNumber(fields.number);
    r.JobName = fields.name;
    r.JobTime = fields.time;
    r.JobDate = fields.date.empty() ? "Everyday" : fields.date;
    r.JobMusic = fields.music;
    r.JobFlags = fields.checks;
    return r;
}

Jilu::Jilu(std::filesystem::path appFolder, JobListView* list, std::function<void()> rebuildIndex)
    : appFolder_(std::move(appFolder)), list_(list), rebuildIndex_(std::move(rebuildIndex)) {}

void Jilu::LoadJobTable(const std::string& file) {
    const GroupFile group = Group(file);
    if (list_ != nullptr) {
        list_->Clear();
        const auto content = group.Load();
        const int n = content ? JobCountFromLength(content->size()) : 0;
        for (int k = 1; k <= n; ++k) list_->AddRow(JobRowText(DecodeJobRecord(RecordFrom(*content, k))));
    } else {
        group.Open();
    }
    if (rebuildIndex_) rebuildIndex_();
}

JobEditorFields Jilu::LoadJobIntoEditor(const std::string& file, int n) const {
    const JobRecord r = Group(file).Read(n);
    JobEditorFields f;
    f.state = std::string(TrimRight(r.JobState));
    f.number = std::to_string(r.JobNo);
    f.name = std::string(Trim(r.JobName));
    f.time = std::string(TrimRight(r.JobTime));
    f.date = std::string(Trim(r.JobDate));
    for (std::size_t i = 0; i < 8; ++i) {
        f.music[i] = std::string(Trim(r.JobMusic[i]));
        f.checks[i] = r.JobFlags[i];
    }
    return f;
}

bool Jilu::Changed(bool ok, std::string failure) {
    if (!ok && failure.empty()) failure = "任务表没有保存";
    lastFailure_ = ok ? std::string() : std::move(failure);
    if (reporter_) reporter_(lastFailure_);
    return ok;
}

bool Jilu::SaveJobFromEditor(const std::string& file, const JobEditorFields& fields) {
    const JobRecord record = JobFromEditor(fields);
    std::string failure;
    const bool written = record.JobNo >= 1 && Group(file).Write(record.JobNo, record, &failure);
    const bool ok = Changed(written, failure);
    LoadJobTable(file);
    if (list_ != nullptr) list_->SelectRow(ToJobNumber(fields.number) - 1);
    return ok;
}

bool Jilu::SetJobState(const std::string& file, const std::string& state, int n) {
    const GroupFile group = Group(file);
    if (n < 1) return false;
    StoredFile content = group.LoadStored();
    std::string failure;
    bool ok = false;
    if (!content.usable()) {
        failure = UnreadableGroupText(group.Path(), content);
    } else {
        RecordBytes record = RecordFrom(content.bytes, n);
        PatchState(record, state);
        PutRecord(content.bytes, n, record);
        ok = group.Store(content.bytes, &failure);
    }
    Changed(ok, failure);
    LoadJobTable(file);
    return ok;
}

bool Jilu::SetAllJobStates(const std::string& file, const std::string& state) {
    const GroupFile group = Group(file);
    StoredFile content = group.LoadStored();
    std::string failure;
    bool ok = false;
    if (!content.usable()) {
        failure = UnreadableGroupText(group.Path(), content);
    } else {
        const int n = JobCountFromLength(content.bytes.size());
        for (int k = 1; k <= n; ++k) {
            RecordBytes record = RecordFrom(content.bytes, k);
            PatchState(record, state);
            PutRecord(content.bytes, k, record);
        }
        // All records change in one replace: a crash never leaves some paused and some not.
        ok = n == 0 || group.Store(content.bytes, &failure);
    }
    Changed(ok, failure);
    LoadJobTable(file);
    return ok;
}

bool Jilu::SwapJobRecords(const std::string& file, int n, int step) {
    const GroupFile group = Group(file);
    if (n < 1 || n + step < 1) return false;
    StoredFile content = group.LoadStored();
    if (!content.usable()) return Changed(false, UnreadableGroupText(group.Path(), content));
    RecordBytes a = RecordFrom(content.bytes, n);
    RecordBytes b = RecordFrom(content.bytes, n + step);
    const std::int16_t aNo = ReadInt16(a, job_layout::kNoOffset);
    WriteInt16(b, job_layout::kNoOffset, aNo);
    WriteInt16(a, job_layout::kNoOffset, static_cast<std::int16_t>(aNo + step));
    PutRecord(content.bytes, n, b);
    PutRecord(content.bytes, n + step, a);
    std::string failure;
    const bool ok = group.Store(content.bytes, &failure);
    return Changed(ok, failure);
}

bool Jilu::DeleteJobRecord(const std::string& file, int n, int count) {
    const GroupFile group = Group(file);
    std::string failure;
    if (count == 1) {
        const bool ok = group.Remove(&failure);
        return Changed(ok, failure);
    }
    if (n < 1) return false;
    const StoredFile content = group.LoadStored();
    if (!content.usable()) return Changed(false, UnreadableGroupText(group.Path(), content));
    Bytes copy;
    copy.reserve(static_cast<std::size_t>(count > 0 ? count - 1 : 0) * JobRecordLength);
    for (int k = 1; k < n; ++k) PutRecord(copy, k, RecordFrom(content.bytes, k));
    for (int k = n + 1; k <= count; ++k) {
        RecordBytes record = RecordFrom(content.bytes, k);
        WriteInt16(record, job_layout::kNoOffset,
                   static_cast<std::int16_t>(ReadInt16(record, job_layout::kNoOffset) - 1));
        PutRecord(copy, k - 1, record);
    }
    // The copy file is written whole and renamed over the group: the group is old or new at every instant.
    const bool ok = ReplaceFileAtomically(group.Path(), copy, appFolder_ / ("copy" + file), &failure);
    return Changed(ok, failure);
}

bool Jilu::RemoveGroupFile(const std::string& file) {
    std::string failure;
    const bool ok = Group(file).Remove(&failure);
    return Changed(ok, failure);
}

}  // namespace lingchao
