#include "music/path_tidy.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <string_view>
#include <system_error>

#include "base/backup_folder.h"
#include "base/file_util.h"
#include "base/text.h"
#include "music/media_path.h"
#include "store/gbk.h"
#include "store/group_file.h"
#include "store/jilu.h"

namespace lingchao {
namespace {

constexpr const char* kWeekdays[] = {"", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六", "星期日"};

std::string_view AsText(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return {reinterpret_cast<const char*>(bytes.data()) + offset, length};
}

std::size_t FieldOffset(int record, int slot) {
    return static_cast<std::size_t>(record - 1) * JobRecordLength + job_layout::kMusicOffset +
           static_cast<std::size_t>(slot) * job_layout::kMusicWidth;
}

// The path of a record's music field, as the player is given it.
std::string FieldPath(const Bytes& file, int record, int slot) {
    const std::size_t at = FieldOffset(record, slot);
    if (at + job_layout::kMusicWidth > file.size()) return {};
    return std::string(Trim(DecodeFixedGbk(AsText(file, at, job_layout::kMusicWidth), job_layout::kMusicWidth)));
}

// One line of a list file: where its text lies and how long its line end is.
struct LineSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};

// Lines end at CR LF, a lone CR or a lone LF, as the list reader takes them.
std::vector<LineSpan> SplitLines(const Bytes& file) {
    std::vector<LineSpan> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < file.size()) {
        const auto c = file[i];
        if (c == '\r' || c == '\n') {
            lines.push_back({start, i - start});
            i += (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < file.size()) lines.push_back({start, file.size() - start});
    return lines;
}

// The entry a list line holds for the player ("" for blank lines and directives).
std::string LineEntry(const Bytes& file, const LineSpan& line) {
    const std::string text = GbkToUtf8(AsText(file, line.start, line.length));
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] == '#') return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Why `path` cannot be stored as GBK text of at most `width` bytes (0: any length); "" when it can.
std::string Unwritable(const std::string& path, std::size_t width) {
    const std::string gbk = Utf8ToGbk(path);
    if (GbkToUtf8(gbk) != path) return "路径含有GBK以外的字符，无法写入";
    if (width > 0 && gbk.size() > width) return "路径超过" + std::to_string(width) + "字节，无法写入";
    return {};
}

class Finder final {
public:
    Finder(std::shared_ptr<const MusicNames> names, std::vector<StrayPath>& out)
        : names_(std::move(names)), out_(out) {}

    // Adds a row when `text` is a local path that names no file.
    void Consider(StrayPath row, const std::string& text, const std::filesystem::path& base, std::size_t width) {
        if (text.empty()) return;
        const ResolvedMediaPath where = ResolveMediaPath(text, base, names_);
        if (!where.path.empty() && !where.foundByName) return;
        if (where.path.empty() && where.problem != "no such file") return;
        row.oldPath = text;
        if (where.foundByName) {
            row.found = where.path;
            row.sameNames = where.sameNames;
            row.unwritable = Unwritable(row.found, width);
        }
        out_.push_back(std::move(row));
    }

    void Group(const std::filesystem::path& file, StrayPath::Holder holder, const std::string& prefix) {
        const std::optional<Bytes> bytes = ReadFileBytes(file);
        if (!bytes) return;
        const int count = JobCountFromLength(bytes->size());
        for (int k = 1; k <= count; ++k) {
            const JobRecord record = DecodeJobRecord(RecordFrom(*bytes, k));
            const std::string job = prefix + "任务" + std::to_string(k) + " " + std::string(Trim(record.JobName));
            for (int slot = 0; slot < static_cast<int>(job_layout::kMusicCount); ++slot) {
                StrayPath row;
                row.holder = holder;
                row.file = file;
                row.record = k;
                row.slot = slot;
                row.owner = slot == 0 ? job : job + "（" + kWeekdays[slot] + "）";
                Consider(std::move(row), FieldPath(*bytes, k, slot), {}, job_layout::kMusicWidth);
            }
        }
    }

    void List(const std::filesystem::path& file, const std::string& owner) {
        const std::optional<Bytes> bytes = ReadFileBytes(file);
        if (!bytes) return;
        const std::vector<LineSpan> lines = SplitLines(*bytes);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            StrayPath row;
            row.holder = StrayPath::Holder::List;
            row.file = file;
            row.line = i;
            row.owner = owner;
            Consider(std::move(row), LineEntry(*bytes, lines[i]), file.parent_path(), 0);
        }
    }

private:
    std::shared_ptr<const MusicNames> names_;
    std::vector<StrayPath>& out_;
};

std::vector<std::filesystem::path> GroupFiles(const std::filesystem::path& jobFolder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    std::filesystem::directory_iterator it(jobFolder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && it->path().extension() == ".sav") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Rewrites one field or line; false when it no longer holds the old path.
bool Patch(Bytes& file, const StrayPath& row) {
    if (row.holder != StrayPath::Holder::List) {
        if (FieldPath(file, row.record, row.slot) != row.oldPath) return false;
        const std::string field = EncodeFixedGbk(row.found, job_layout::kMusicWidth);
        std::copy(field.begin(), field.end(),
                  file.begin() + static_cast<std::ptrdiff_t>(FieldOffset(row.record, row.slot)));
        return true;
    }
    const std::vector<LineSpan> lines = SplitLines(file);
    if (row.line >= lines.size() || LineEntry(file, lines[row.line]) != row.oldPath) return false;
    const LineSpan& line = lines[row.line];
    const std::string gbk = Utf8ToGbk(row.found);
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(line.start);
    file.erase(begin, begin + static_cast<std::ptrdiff_t>(line.length));
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(line.start), gbk.begin(), gbk.end());
    return true;
}

std::string Shown(const std::filesystem::path& file) { return file.filename().string(); }

}  // namespace

std::vector<StrayPath> FindStrayPaths(const std::filesystem::path& appFolder,
                                      const std::shared_ptr<const MusicNames>& names) {
    std::vector<StrayPath> rows;
    Finder finder(names, rows);
    finder.Group(appFolder / kDefaultGroup, StrayPath::Holder::Timetable, "");
    for (const auto& group : GroupFiles(appFolder / "job")) {
        finder.Group(group, StrayPath::Holder::Group, group.filename().string() + " ");
    }
    if (names != nullptr) {
        for (const auto& file : names->Files()) {
            if (!IsMusicListPath(file.string())) continue;
            finder.List(file, file.lexically_relative(names->MusicFolder()).string());
        }
    }
    return rows;
}

TidyResult TidyStrayPaths(const std::filesystem::path& appFolder, const std::vector<StrayPath>& rows,
                          bool groupsAndLists) {
    TidyResult result;
    // Rows of one file, in file order: each file is read, changed and written once.
    std::map<std::filesystem::path, std::vector<const StrayPath*>> byFile;
    std::vector<std::filesystem::path> order;
    for (const StrayPath& row : rows) {
        if (row.holder != StrayPath::Holder::Timetable && !groupsAndLists) continue;
        if (row.found.empty()) ++result.notFound;
        if (!row.CanTidy()) {
            if (!row.found.empty()) ++result.unwritable;
            continue;
        }
        auto [it, isNew] = byFile.try_emplace(row.file);
        if (isNew) order.push_back(row.file);
        it->second.push_back(&row);
    }
    struct Change {
        std::filesystem::path file;
        Bytes before;
        Bytes after;
        int paths = 0;
    };
    std::vector<Change> changes;
    for (const auto& file : order) {
        std::optional<Bytes> bytes = ReadFileBytes(file);
        if (!bytes) {
            result.failures.push_back(Shown(file) + "：无法读取");
            continue;
        }
        Change change{file, *bytes, *bytes, 0};
        for (const StrayPath* row : byFile[file]) {
            if (Patch(change.after, *row)) {
                ++change.paths;
            } else {
                result.failures.push_back(row->owner + "：路径已被修改，未改动 " + row->oldPath);
            }
        }
        if (change.paths > 0) changes.push_back(std::move(change));
    }
    // Every file as it was, kept before the first one changes.
    BackupFolder backup(appFolder, "整理", std::time(nullptr));
    for (const Change& change : changes) {
        std::string why;
        if (!backup.Keep(change.file.lexically_relative(appFolder), change.before, &why)) {
            result.backupFailure = why;
            return result;
        }
    }
    result.backup = backup.Path();
    result.backupName = backup.Name();
    for (const Change& change : changes) {
        if (!ReplaceFileAtomically(change.file, change.after)) {
            result.failures.push_back(Shown(change.file) + "：无法写入，未改动");
            continue;
        }
        result.paths += change.paths;
        result.files.push_back(change.file);
        if (byFile[change.file].front()->holder == StrayPath::Holder::Timetable) result.timetableChanged = true;
    }
    return result;
}

std::string FoundColumnText(const StrayPath& row, const std::filesystem::path& appFolder) {
    if (row.found.empty()) return "未找到";
    if (!row.unwritable.empty()) return row.unwritable;
    const std::filesystem::path found(row.found);
    std::string shown = found.lexically_relative(appFolder).string();
    if (shown.empty() || shown.starts_with("..")) shown = row.found;
    if (row.sameNames > 1) shown += "（同名" + std::to_string(row.sameNames) + "个，取最浅、名称最前的）";
    return shown;
}

std::string TidyResultText(const TidyResult& result) {
    std::string text;
    if (!result.backupFailure.empty()) {
        text = "没有改动任何路径：要改动的文件没能先备份（" + result.backupFailure + "）。";
    } else if (result.paths == 0) {
        text = "没有改动任何路径。";
    } else {
        text = "已改正" + std::to_string(result.paths) + "个路径，共" + std::to_string(result.files.size()) +
               "个文件；改动前的原样已备份到“" + result.backupName + "”文件夹，可用“恢复…”放回。";
    }
    if (result.notFound > 0) text += "\n" + std::to_string(result.notFound) + "个路径未找到，保持原样。";
    if (result.unwritable > 0) {
        text += "\n" + std::to_string(result.unwritable) + "个路径找到的文件无法写入，保持原样。";
    }
    for (const std::string& failure : result.failures) text += "\n" + failure;
    return text;
}

}  // namespace lingchao
