#include "player/old_files_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "base/file_util.h"
#include "player/music_names.h"
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

bool SameBytes(const fs::path& a, const fs::path& b) {
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    if (!x || !y) return false;
    std::vector<char> bx(1 << 16);
    std::vector<char> by(1 << 16);
    for (;;) {
        x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
        y.read(by.data(), static_cast<std::streamsize>(by.size()));
        if (x.gcount() != y.gcount()) return false;
        if (!std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin())) return false;
        if (x.gcount() == 0 || !x || !y) return x.eof() == y.eof() && !x.bad() && !y.bad();
    }
}

// What a group or settings file must look like; "" when it does.
std::string WrongShape(const std::string& key, std::uint64_t size) {
    if (key == "default.dll" || key.ends_with(".sav")) {
        if (size % JobRecordLength != 0) {
            return "长度" + std::to_string(size) + "字节，不是整条任务记录（每条" + std::to_string(JobRecordLength) +
                   "字节），不是任务表";
        }
    } else if (key == "exit.dll" && size != ShutdownSettingsLength) {
        return "长度" + std::to_string(size) + "字节，定时关机设置应为" + std::to_string(ShutdownSettingsLength) +
               "字节";
    }
    return {};
}

class Planner final {
public:
    Planner(fs::path appFolder, ImportPlan& plan) : appFolder_(std::move(appFolder)), plan_(plan) {}

    void Add(const fs::path& from, const fs::path& relativeTo, const std::string& key) {
        if (plan_.files.size() >= kMaxFiles) return;
        ImportFile file;
        file.from = from;
        file.to = appFolder_ / relativeTo;
        file.name = relativeTo.generic_string();
        if (!IsRegular(from, file.size)) {
            file.status = ImportFile::Status::Bad;
            file.why = "不是普通文件";
        } else if (std::string why = WrongShape(key, file.size); !why.empty()) {
            file.status = ImportFile::Status::Bad;
            file.why = std::move(why);
        } else {
            std::error_code ec;
            const fs::file_status there = fs::symlink_status(file.to, ec);
            if (!fs::exists(there)) {
                file.status = ImportFile::Status::New;
            } else {
                std::uint64_t size = 0;
                const bool same = IsRegular(file.to, size) && size == file.size && SameBytes(from, file.to);
                file.status = same ? ImportFile::Status::Same : ImportFile::Status::Differs;
            }
        }
        plan_.files.push_back(std::move(file));
    }

    // Everything under the old music folder; lists get the extension the editor looks for.
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
            Add(path, fs::path("music") / relative, FileNameKey(relative.filename().string()));
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
            Add(from, fs::path("job") / name, FileNameKey(name.string()));
        }
    }

private:
    fs::path appFolder_;
    ImportPlan& plan_;
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

// Streams `from` (a regular file, never through a link) into a scratch file beside `to`, created exclusively, then
// renames it over `to`: music files can be large, and a half copy never takes a file's name.
bool CopyThroughScratch(const fs::path& from, const fs::path& to, std::string& why) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (ec) {
        why = "无法建立文件夹";
        return false;
    }
    const int in = OpenSource(from);
    if (in < 0) {
        why = "无法读取";
        return false;
    }
    const fs::path scratch = ScratchPathFor(to);
    if (!fs::is_directory(fs::symlink_status(scratch, ec))) fs::remove(scratch, ec);
    const int out = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = out >= 0;
    std::vector<char> buffer(1 << 16);
    while (ok) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            ok = w > 0;
            if (ok) done += w;
        }
    }
    ok = ok && ::fsync(out) == 0;
    if (!ok) why = "无法写入：" + WriteErrorText(errno);
    ::close(in);
    if (out >= 0) ::close(out);
    if (ok && ::rename(scratch.c_str(), to.c_str()) != 0) {
        why = "无法写入：" + WriteErrorText(errno);
        ok = false;
    }
    if (!ok && out >= 0) ::unlink(scratch.c_str());
    return ok;
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
    if (std::string wrong = WrongShape(file.name, bytes.size()); !wrong.empty()) {
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

// The order of writing: the music first, so that no bell of the new timetable finds its music missing; the job
// groups and the shutdown settings next; the timetable in use last.
int WriteRank(const ImportFile& file) {
    if (file.name == "default.dll") return 3;
    if (file.name == "exit.dll") return 2;
    return file.name.starts_with("music/") ? 0 : 1;
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
    std::error_code ec;
    if (fs::equivalent(oldFolder, appFolder, ec)) {
        plan.refused = "所选的文件夹就是本程序自己的文件夹。";
        return plan;
    }
    // The old program ran on Windows: its names may come in any letter case.
    fs::path timetable, settings, groups, music;
    fs::directory_iterator it(oldFolder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string key = FileNameKey(it->path().filename().string());
        std::error_code typeError;
        const bool folder = it->is_directory(typeError) && !it->is_symlink(typeError);
        if (key == "default.dll") timetable = it->path();
        if (key == "exit.dll") settings = it->path();
        if (key == "job" && folder) groups = it->path();
        if (key == "music" && folder) music = it->path();
    }
    Planner planner(appFolder, plan);
    if (!timetable.empty()) planner.Add(timetable, "default.dll", "default.dll");
    if (!settings.empty()) planner.Add(settings, "exit.dll", "exit.dll");
    if (!groups.empty()) planner.Groups(groups);
    if (!music.empty()) planner.Music(music);
    if (timetable.empty() && settings.empty() && groups.empty() && music.empty()) {
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
    std::stable_sort(writes.begin(), writes.end(),
                     [](const ImportFile* a, const ImportFile* b) { return WriteRank(*a) < WriteRank(*b); });
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
            written = timetable ? ReplaceTimetable(*file, why) : CopyThroughScratch(file->from, file->to, why);
        }
        if (written) {
            ++(file->status == ImportFile::Status::New ? result.copied : result.replaced);
            if (timetable) result.timetableChanged = true;
            if (file->name == "exit.dll") result.shutdownChanged = true;
        } else {
            result.failed.push_back(file->name + "：" + why);
            if (WriteRank(*file) == 0) musicMissing = true;
        }
        done += file->size;
    }
    if (progress && !result.cancelled) progress(done, total);
    return result;
}

std::string ImportResultText(const ImportResult& result) {
    std::string text =
        "已复制" + std::to_string(result.copied) + "个新文件，替换" + std::to_string(result.replaced) + "个文件。";
    if (result.same > 0) text += "\n" + std::to_string(result.same) + "个文件本机已有，完全相同。";
    if (result.kept > 0) text += "\n" + std::to_string(result.kept) + "个文件保留了本机的。";
    if (result.cancelled) text += "\n导入被中止，其余文件没有复制。";
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

}  // namespace lingchao
