#include "music/old_files_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <map>
#include <set>
#include <system_error>

#include "base/backup_folder.h"
#include "base/file_util.h"
#include "music/music_names.h"
#include "shutdown/shutdown_settings.h"
#include "store/job_record.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxFiles = 200000;
constexpr const char* kTitle = "导入旧电脑的文件";

bool IsRegular(const fs::path& path, std::uint64_t& size) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::is_regular_file(status)) return false;
    size = fs::file_size(path, ec);
    return !ec;
}

// A file of the old folder and the name it would have here.
struct Candidate {
    fs::path from;
    std::string source;  // relative to the old folder
    fs::path target;     // relative to the application folder
};

// "x.sav" → "x (2).sav"; the timetable in use has one name only, so a second one becomes a job group.
fs::path NumberedName(const fs::path& target, int n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (target == "default.dll") return fs::path("job") / ("default" + suffix + ".sav");
    fs::path numbered = target;
    numbered.replace_filename(target.stem().string() + suffix + target.extension().string());
    return numbered;
}

class Planner final {
public:
    Planner(fs::path oldFolder, fs::path appFolder)
        : oldFolder_(std::move(oldFolder)), appFolder_(std::move(appFolder)) {}

    void Add(const fs::path& from, const fs::path& target) {
        if (candidates_.size() >= kMaxFiles) return;
        candidates_.push_back({from, from.lexically_relative(oldFolder_).generic_string(), target});
    }

    // Everything under an old music folder; lists get the extension the editor looks for.
    void Music(const fs::path& folder) {
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const fs::path& path = it->path();
            std::error_code statError;
            if (it->is_directory(statError) && !it->is_symlink(statError)) {
                if (it.depth() + 1 >= MusicNames::kMaxDepth) it.disable_recursion_pending();
                continue;
            }
            fs::path relative = path.lexically_relative(folder);
            if (it.depth() == 0 && FileNameKey(relative.string()) == "null.dll") continue;
            if (FileNameKey(relative.extension().string()) == ".m3u") relative.replace_extension(".m3u");
            Add(path, fs::path("music") / relative);
        }
    }

    void Groups(const fs::path& folder) {
        std::error_code ec;
        std::vector<fs::path> files;
        fs::directory_iterator it(folder, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            if (FileNameKey(it->path().extension().string()) == ".sav") files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& from : files) {
            fs::path name = from.filename();
            name.replace_extension(".sav");
            Add(from, fs::path("job") / name);
        }
    }

    // Each candidate checked, named and compared with what is here.
    std::vector<ImportFile> Files() {
        std::vector<ImportFile> files;
        files.reserve(candidates_.size());
        std::set<fs::path> taken;
        for (const Candidate& c : candidates_) {
            files.push_back(Check(c));
            taken.insert(c.target);
        }
        // Files that would share a name: the one spelt most like here keeps it ("job/x.sav" before "JOB/x.SAV"),
        // then the first by its name in the old folder.
        std::map<fs::path, std::vector<std::size_t>> byTarget;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i].status != ImportFile::Status::Bad) byTarget[candidates_[i].target].push_back(i);
        }
        for (auto& [target, group] : byTarget) {
            if (group.size() < 2) continue;
            const std::string here = target.generic_string();
            const auto likeness = [&here](const std::string& source) {
                std::size_t same = 0;
                for (std::size_t i = 0; i < source.size() && i < here.size(); ++i) same += source[i] == here[i];
                return same;
            };
            std::sort(group.begin(), group.end(), [&](std::size_t a, std::size_t b) {
                const std::size_t la = likeness(files[a].source);
                const std::size_t lb = likeness(files[b].source);
                return la != lb ? la > lb : files[a].source < files[b].source;
            });
            int n = 2;
            for (std::size_t k = 1; k < group.size(); ++k) {
                fs::path name = NumberedName(target, n);
                while (taken.contains(name)) name = NumberedName(target, ++n);
                taken.insert(name);
                ImportFile& file = files[group[k]];
                file.renamedFrom = file.name;
                file.name = name.generic_string();
                file.to = appFolder_ / name;
                Compare(file);
            }
        }
        return files;
    }

private:
    ImportFile Check(const Candidate& c) const {
        ImportFile file;
        file.from = c.from;
        file.to = appFolder_ / c.target;
        file.name = c.target.generic_string();
        file.source = c.source;
        if (!IsRegular(c.from, file.size)) {
            file.status = ImportFile::Status::Bad;
            file.why = "不是普通文件";
        } else if (std::string why = StoredShapeProblem(file.name, file.size); !why.empty()) {
            file.status = ImportFile::Status::Bad;
            file.why = std::move(why);
        } else {
            Compare(file);
        }
        return file;
    }

    static void Compare(ImportFile& file) {
        std::error_code ec;
        const fs::file_status there = fs::symlink_status(file.to, ec);
        std::uint64_t size = 0;
        if (!fs::exists(there)) {
            file.status = ImportFile::Status::New;
        } else if (file.name == "exit.dll" && IsRegular(file.to, size) && size == 0) {
            file.status = ImportFile::Status::New;  // made empty at the first start: this computer has no settings
        } else {
            const bool same = IsRegular(file.to, size) && size == file.size && SameFileBytes(file.from, file.to);
            file.status = same ? ImportFile::Status::Same : ImportFile::Status::Differs;
        }
    }

    fs::path oldFolder_;
    fs::path appFolder_;
    std::vector<Candidate> candidates_;
};

// `from` opened for reading when it is a regular file (never through a link, never waiting on a FIFO); -1 else.
int OpenSource(const fs::path& from) {
    const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (in >= 0 && (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(in);
        return -1;
    }
    return in;
}

// The timetable in use, replaced whole in one rename: the running bell reads it at any moment, and must find the
// old one or the new one, never a part. Its shape is checked again, on the bytes that are written.
bool ReplaceTimetable(const ImportFile& file, std::string& why) {
    const int in = OpenSource(file.from);
    if (in < 0) {
        why = "无法读取";
        return false;
    }
    Bytes bytes;
    std::vector<std::uint8_t> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() > kDefaultReadCap) {
            ::close(in);
            why = n < 0 ? "无法读取" : "文件过大";
            return false;
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
    }
    ::close(in);
    if (std::string wrong = StoredShapeProblem(file.name, bytes.size()); !wrong.empty()) {
        why = std::move(wrong);
        return false;
    }
    std::string failure;
    if (!ReplaceFileAtomically(file.to, bytes, &failure)) {
        // Said as the other files say it: "无法写入：磁盘已满".
        const std::string prefix = "无法写入 " + file.to.string() + "：";
        why = "无法写入：" + (failure.starts_with(prefix) ? failure.substr(prefix.size()) : failure);
        return false;
    }
    return true;
}

std::string List(const std::vector<const ImportFile*>& files, std::size_t shown) {
    std::string text;
    for (std::size_t i = 0; i < files.size() && i < shown; ++i) text += "\n" + files[i]->name;
    if (files.size() > shown) text += "\n……（另有" + std::to_string(files.size() - shown) + "个）";
    return text;
}

}  // namespace

ImportPlan PlanImport(const fs::path& oldFolder, const fs::path& appFolder) {
    ImportPlan plan;
    plan.appFolder = appFolder;
    std::error_code ec;
    if (fs::equivalent(oldFolder, appFolder, ec)) {
        plan.refused = "所选的文件夹就是本程序自己的文件夹。";
        return plan;
    }
    // The old program ran on Windows: its names may come in any letter case, and a copy through another system
    // may hold the same name twice.
    std::vector<fs::path> timetables, settings, groups, music;
    fs::directory_iterator it(oldFolder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string key = FileNameKey(it->path().filename().string());
        std::error_code typeError;
        const bool folder = it->is_directory(typeError) && !it->is_symlink(typeError);
        if (key == "default.dll") timetables.push_back(it->path());
        if (key == "exit.dll") settings.push_back(it->path());
        if (key == "job" && folder) groups.push_back(it->path());
        if (key == "music" && folder) music.push_back(it->path());
    }
    for (auto* list : {&timetables, &settings, &groups, &music}) std::sort(list->begin(), list->end());
    Planner planner(oldFolder, appFolder);
    for (const auto& file : timetables) planner.Add(file, "default.dll");
    for (const auto& file : settings) planner.Add(file, "exit.dll");
    for (const auto& folder : groups) planner.Groups(folder);
    for (const auto& folder : music) planner.Music(folder);
    plan.files = planner.Files();
    if (timetables.empty() && settings.empty() && groups.empty() && music.empty()) {
        plan.refused = "所选的文件夹里没有 default.dll、exit.dll、job 或 music。";
    }
    return plan;
}

void AskReplacements(ImportPlan& plan, Dialogs& dialogs) {
    const auto ask = [&dialogs](const std::string& text) {
        return dialogs.Message({text, kTitle, MessageIcon::Question, MessageButtons::YesNo, 1}) == MessageAnswer::Yes;
    };
    std::vector<ImportFile*> rest;
    for (ImportFile& file : plan.files) {
        if (file.status != ImportFile::Status::Differs) continue;
        if (file.name == "default.dll") {
            file.replace = ask("本机已有正在使用的任务表 default.dll，与旧电脑的不同。\n是否用旧电脑的任务表替换它？");
        } else if (file.name == "exit.dll") {
            file.replace = ask("本机已有定时关机设置 exit.dll，与旧电脑的不同。\n是否用旧电脑的设置替换它？");
        } else {
            rest.push_back(&file);
        }
    }
    if (rest.empty()) return;
    const std::vector<const ImportFile*> shown(rest.begin(), rest.end());
    const bool all = ask("以下" + std::to_string(rest.size()) + "个文件本机已有，与旧电脑的不同：" + List(shown, 12) +
                         "\n是否全部用旧电脑的文件替换？（选“否”则保留本机的）");
    for (ImportFile* file : rest) file->replace = all;
}

ImportResult RunImport(const ImportPlan& plan, const std::function<bool(std::uint64_t, std::uint64_t)>& progress) {
    ImportResult result;
    std::vector<const ImportFile*> writes;
    std::uint64_t total = 0;
    for (const ImportFile& file : plan.files) {
        switch (file.status) {
            case ImportFile::Status::Same:
                ++result.same;
                if (!file.renamedFrom.empty()) result.renamed.push_back(file.source + " → " + file.name);
                continue;
            case ImportFile::Status::Bad:
                result.skipped.push_back(file.name + "：" + file.why);
                continue;
            case ImportFile::Status::Differs:
                if (!file.replace) {
                    ++result.kept;
                    continue;
                }
                break;
            case ImportFile::Status::New:
                break;
        }
        writes.push_back(&file);
        total += file.size;
    }
    std::stable_sort(writes.begin(), writes.end(), [](const ImportFile* a, const ImportFile* b) {
        return ReplaceOrder(a->name) < ReplaceOrder(b->name);
    });
    // Everything of this computer that is about to be replaced is kept first, all of it, or nothing changes.
    BackupFolder backup(plan.appFolder, "导入", std::time(nullptr));
    for (const ImportFile* file : writes) {
        std::error_code ec;
        const fs::file_status there = fs::symlink_status(file->to, ec);
        if (!fs::exists(there) || fs::is_directory(there)) continue;
        std::string why;
        if (!backup.Keep(file->name, &why)) {
            result.backupFailure = why;
            result.backup = backup.Path();
            result.backupName = backup.Name();
            return result;
        }
    }
    result.backup = backup.Path();
    result.backupName = backup.Name();

    std::uint64_t done = 0;
    bool musicMissing = false;
    for (const ImportFile* file : writes) {
        if (progress && !progress(done, total)) {
            result.cancelled = true;
            break;
        }
        const bool timetable = file->name == "default.dll";
        std::string why;
        bool written = false;
        if (timetable && musicMissing) {
            why = "没有写入：有音乐文件没能复制，本机的任务表保持原样";
        } else {
            written = timetable ? ReplaceTimetable(*file, why) : CopyFileWhole(file->from, file->to, false, &why);
        }
        if (written) {
            if (file->status == ImportFile::Status::New) {
                ++result.copied;
            } else {
                ++result.replaced;
                result.replacedNames.push_back(file->name);
            }
            if (!file->renamedFrom.empty()) result.renamed.push_back(file->source + " → " + file->name);
            if (timetable) result.timetableChanged = true;
            if (file->name == "exit.dll") result.shutdownChanged = true;
        } else {
            result.failed.push_back(file->name + "：" + why);
            if (ReplaceOrder(file->name) == 0) musicMissing = true;
        }
        done += file->size;
    }
    if (progress && !result.cancelled) progress(done, total);
    return result;
}

std::string ImportResultText(const ImportResult& result) {
    std::string text;
    if (!result.backupFailure.empty()) {
        text = "没有复制任何文件：本机将被替换的文件没能先备份（" + result.backupFailure + "）。";
    } else {
        text =
            "已复制" + std::to_string(result.copied) + "个新文件，替换" + std::to_string(result.replaced) + "个文件。";
    }
    if (!result.backupName.empty() && result.backupFailure.empty()) {
        text += "\n本机被替换的文件已先备份到“" + result.backupName + "”文件夹，可用“恢复…”放回。";
    }
    if (result.same > 0) text += "\n" + std::to_string(result.same) + "个文件本机已有，完全相同。";
    if (result.kept > 0) text += "\n" + std::to_string(result.kept) + "个文件保留了本机的。";
    if (result.cancelled) text += "\n导入被中止，其余文件没有复制。";
    if (!result.renamed.empty()) {
        text += "\n以下文件与另一个文件的名字只差字母大小写，两个都保留了，这些改用新名字：";
        for (const std::string& line : result.renamed) text += "\n" + line;
    }
    if (!result.skipped.empty()) {
        text += "\n以下文件不是它名字所说的文件，没有复制：";
        for (const std::string& line : result.skipped) text += "\n" + line;
    }
    if (!result.failed.empty()) {
        text += "\n以下文件复制失败：";
        for (const std::string& line : result.failed) text += "\n" + line;
    }
    return text;
}

std::string StoredShapeProblem(const std::string& name, std::uint64_t size) {
    if (name == "default.dll" || (name.starts_with("job/") && name.ends_with(".sav"))) {
        if (size % JobRecordLength != 0) {
            return "长度" + std::to_string(size) + "字节，不是整条任务记录（每条" + std::to_string(JobRecordLength) +
                   "字节），不是任务表";
        }
    } else if (name == "exit.dll" && size != ShutdownSettingsLength) {
        return "长度" + std::to_string(size) + "字节，定时关机设置应为" + std::to_string(ShutdownSettingsLength) +
               "字节";
    }
    return {};
}

// The music first, so that no bell of the new timetable finds its music missing; the job groups and the shutdown
// settings next; the timetable in use last.
int ReplaceOrder(const std::string& name) {
    if (name == "default.dll") return 3;
    if (name == "exit.dll") return 2;
    return name.starts_with("music/") ? 0 : 1;
}

}  // namespace lingchao
