#include "store/job_groups.h"

#include "base/file_util.h"
#include "base/log.h"

namespace lingchao {

std::string WithGroupExtension(const std::string& path) {
    const std::filesystem::path p(path);
    return p.has_extension() ? path : path + ".sav";
}

bool JobGroups::SaveGroup() {
    const GroupFile current = jilu_.Group(kDefaultGroup);
    for (;;) {
        const auto chosen = dialogs_.SaveFile({"保存任务组", kGroupFilter, JobFolder().string()});
        if (!chosen) return false;
        const std::filesystem::path target = WithGroupExtension(*chosen);
        // A cleared group has no file: it is saved as the empty group it is.
        current.Open();
        std::string failure;
        if (CopyWholeFile(current.Path(), target, false, kMaxGroupBytes, &failure)) return true;
        std::error_code ec;
        const bool exists = std::filesystem::symlink_status(target, ec).type() != std::filesystem::file_type::not_found;
        const MessageRequest ask{"是否覆盖现有文件?", "文件已存在", MessageIcon::Question, MessageButtons::YesNo, 1};
        if (!exists || dialogs_.Message(ask) == MessageAnswer::Yes) {
            if (exists && CopyWholeFile(current.Path(), target, true, kMaxGroupBytes, &failure)) return true;
            LogLine("cannot save the job group to " + target.string());
            dialogs_.Message({"无法保存任务组：" + target.string() + "\n" + failure, "提示", MessageIcon::Information});
            return false;
        }
    }
}

bool JobGroups::OpenGroup() {
    const MessageRequest ask{"在打开任务组前,是否保存现有任务组?", "问题", MessageIcon::Question, MessageButtons::YesNo,
                             0};
    if (dialogs_.Message(ask) == MessageAnswer::Yes) SaveGroup();
    const auto chosen = dialogs_.OpenFile({"打开任务组", kGroupFilter, JobFolder().string()});
    if (!chosen) return false;
    // Through a scratch file and a rename: a copy that fails half way leaves the current group whole.
    std::string failure;
    if (!CopyWholeFile(*chosen, jilu_.Group(kDefaultGroup).Path(), true, kMaxGroupBytes, &failure)) {
        LogLine("cannot open the job group " + *chosen);
        // The timetable in use stays as it was: say so rather than leave the user believing it changed.
        dialogs_.Message({"无法打开任务组：" + *chosen + "\n" + failure, "提示", MessageIcon::Information});
        return false;
    }
    jilu_.LoadJobTable(kDefaultGroup);
    return true;
}

}  // namespace lingchao
