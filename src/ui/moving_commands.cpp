#include "ui/moving_commands.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QInputDialog>
#include <QMenu>
#include <QProgressDialog>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "base/log.h"
#include "music/backup_restore.h"
#include "music/old_files_import.h"
#include "music/path_tidy.h"
#include "ui/tidy_dialog.h"

namespace lingchao {
namespace {

constexpr const char* kNotice = "提示";

void Tell(Dialogs& dialogs, const std::string& text) {
    dialogs.Message({text, kNotice, MessageIcon::Information, MessageButtons::Ok, 0});
}

// Runs `work` on a worker thread while this thread's events (and so the bells) go on; a progress box appears when
// it takes a while. `work` gets (done, total, cancelled) to report through.
void RunAside(QWidget* parent, const QString& title, const QString& label, bool cancellable,
              const std::function<void(std::atomic<std::uint64_t>&, std::atomic<std::uint64_t>&,
                                       const std::atomic<bool>&)>& work) {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work(done, total, cancelled);
        finished = true;
    });
    QProgressDialog progress(label, cancellable ? QStringLiteral("取消") : QString(), 0, 1000, parent);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(800);
    if (!cancellable) progress.setCancelButton(nullptr);
    while (!finished) {
        // Until the modal box shows, clicks wait: no second command may start in between.
        QCoreApplication::processEvents(
            progress.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 50);
        const std::uint64_t all = total;
        progress.setValue(all == 0 ? 0 : static_cast<int>(done * 1000 / all));
        if (progress.wasCanceled()) cancelled = true;
        QThread::msleep(20);
    }
    worker.join();
}

bool HoldsSomething(const std::filesystem::path& folder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return false;
    const std::filesystem::directory_iterator it(folder, ec);
    return !ec && it != std::filesystem::directory_iterator();
}

std::string UserName() {
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}

}  // namespace

std::filesystem::path OldFilesStartFolder(const std::filesystem::path& root, const std::string& user,
                                          const std::filesystem::path& home) {
    std::vector<std::filesystem::path> places;
    if (!user.empty()) {
        places.push_back(root / "media" / user);
        places.push_back(root / "run" / "media" / user);
    }
    places.push_back(root / "media");
    places.push_back(root / "mnt");
    for (const auto& place : places) {
        if (HoldsSomething(place)) return place;
    }
    return home;
}

void RunTidyCommand(const MovingServices& services, QWidget* parent) {
    const auto names = services.rescanNames ? services.rescanNames() : MusicNames::Scan(services.appFolder / "music");
    const std::vector<StrayPath> rows = FindStrayPaths(services.appFolder, names);
    if (rows.empty()) {
        Tell(services.dialogs, "没有需要整理的音乐路径：每个路径在本机都能找到文件。");
        return;
    }
    TidyDialog dialog(rows, services.appFolder, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    const TidyResult result = TidyStrayPaths(services.appFolder, rows, dialog.groupsAndLists());
    if (!result.backupFailure.empty()) LogLine("tidy: no backup, nothing changed: " + result.backupFailure);
    if (!result.backup.empty()) LogLine("tidy: the files as they were are kept in " + result.backup.string());
    for (const auto& file : result.files) LogLine("music paths tidied in " + file.string());
    for (const auto& failure : result.failures) LogLine("tidy: " + failure);
    if (!result.files.empty() && services.timetableChanged) services.timetableChanged();
    Tell(services.dialogs, TidyResultText(result));
}

void RunImportCommand(const MovingServices& services, QWidget* parent) {
    const std::optional<std::string> folder =
        services.dialogs.OpenFolder({"选择从旧电脑复制来的铃潮文件夹", "",
                                     OldFilesStartFolder("/", UserName(), QDir::homePath().toStdString()).string()});
    if (!folder) return;
    const QString title = QStringLiteral("导入旧电脑的文件");
    ImportPlan plan;
    RunAside(parent, title, QStringLiteral("正在查看所选的文件夹…"), false,
             [&](auto&, auto&, const auto&) { plan = PlanImport(*folder, services.appFolder); });
    if (!plan.refused.empty()) {
        Tell(services.dialogs, plan.refused);
        return;
    }
    AskReplacements(plan, services.dialogs);
    ImportResult result;
    RunAside(parent, title, QStringLiteral("正在复制旧电脑的文件…"), true,
             [&](auto& done, auto& total, const auto& stop) {
                 result = RunImport(plan, [&](std::uint64_t d, std::uint64_t t) {
                     done = d;
                     total = t;
                     return !stop.load();
                 });
             });
    LogLine("imported from " + *folder + ": " + std::to_string(result.copied) + " new, " +
            std::to_string(result.replaced) + " replaced, " + std::to_string(result.skipped.size()) + " skipped, " +
            std::to_string(result.failed.size()) + " failed");
    if (!result.backupFailure.empty()) LogLine("import: no backup, nothing copied: " + result.backupFailure);
    if (!result.backup.empty()) LogLine("import: the files it replaced are kept in " + result.backup.string());
    for (const auto& line : result.skipped) LogLine("import skipped " + line);
    for (const auto& line : result.renamed) LogLine("import renamed " + line);
    if (result.timetableChanged && services.timetableChanged) services.timetableChanged();
    if (result.shutdownChanged && services.shutdownChanged) services.shutdownChanged();
    Tell(services.dialogs, ImportResultText(result));
    if (!result.backupFailure.empty()) return;
    RunTidyCommand(services, parent);
}

void RunRestoreCommand(const MovingServices& services, QWidget* parent) {
    const QString title = QStringLiteral("恢复");
    const std::vector<BackupEntry> backups = ListBackups(services.appFolder);
    if (backups.empty()) {
        Tell(services.dialogs,
             "还没有任何备份。导入旧电脑的文件和整理音乐路径在替换本机的文件之前，会把它们备份到程序文件夹的 backup "
             "文件夹中。");
        return;
    }
    QStringList items;
    for (const BackupEntry& entry : backups) {
        items << QString::fromStdString(entry.name + "（" + std::to_string(entry.files.size()) + "个文件）");
    }
    QInputDialog chooser(parent);
    chooser.setObjectName(QStringLiteral("FormRestore"));
    chooser.setWindowTitle(title);
    chooser.setWindowModality(Qt::ApplicationModal);
    chooser.setLabelText(QStringLiteral("选择要放回的备份（最新的在最前）："));
    chooser.setComboBoxItems(items);
    chooser.setComboBoxEditable(false);
    chooser.setOkButtonText(QStringLiteral("恢复"));
    chooser.setCancelButtonText(QStringLiteral("取消"));
    if (chooser.exec() != QDialog::Accepted) return;
    const qsizetype chosen = items.indexOf(chooser.textValue());
    if (chosen < 0) return;
    const BackupEntry& entry = backups[static_cast<std::size_t>(chosen)];

    std::string question = "把备份“" + entry.name + "”中的" + std::to_string(entry.files.size()) +
                           "个文件放回程序文件夹（替换本机现在的同名文件）：";
    for (std::size_t i = 0; i < entry.files.size() && i < 12; ++i) question += "\n" + entry.files[i];
    if (entry.files.size() > 12) question += "\n……（另有" + std::to_string(entry.files.size() - 12) + "个）";
    question += "\n本机现在与之不同的文件会先备份到一个新的“恢复前”备份中。是否继续？";
    if (services.dialogs.Message({question, "恢复", MessageIcon::Question, MessageButtons::OkCancel, 1}) !=
        MessageAnswer::Ok) {
        return;
    }
    RestoreResult result;
    RunAside(parent, title, QStringLiteral("正在放回备份的文件…"), false,
             [&](auto&, auto&, const auto&) { result = RestoreBackup(services.appFolder, entry); });
    LogLine("restored from " + entry.folder.string() + ": " + std::to_string(result.restored) + " file(s) put back, " +
            std::to_string(result.failed.size()) + " failed" +
            (result.backup.empty() ? "" : "; the files replaced are kept in " + result.backup.string()));
    if (!result.backupFailure.empty()) LogLine("restore: no backup, nothing put back: " + result.backupFailure);
    // The running bell sees a new default.dll by itself; the list is reloaded here.
    if (result.timetableChanged && services.timetableChanged) services.timetableChanged();
    std::string text = RestoreResultText(result, entry);
    if (result.shutdownChanged) {
        if (services.shutdownChanged) {
            services.shutdownChanged();
        } else {
            text += "\n放回的定时关机设置在铃潮下次启动时生效。";
        }
    }
    Tell(services.dialogs, text);
}

QAction* AddRestoreItem(QWidget* mainWindow, std::function<void()> run) {
    auto* file = mainWindow != nullptr ? mainWindow->findChild<QMenu*>(QStringLiteral("file")) : nullptr;
    if (file == nullptr) return nullptr;
    auto* action = new QAction(QStringLiteral("恢复…"), file);
    action->setObjectName(QStringLiteral("restore"));
    QObject::connect(action, &QAction::triggered, file, [run = std::move(run)] { run(); });
    const QList<QAction*> actions = file->actions();
    QAction* before = nullptr;
    for (qsizetype i = 0; i + 1 < actions.size(); ++i) {
        if (actions[i]->objectName() == QStringLiteral("importold")) before = actions[i + 1];
    }
    file->insertAction(before, action);
    return action;
}

}  // namespace lingchao
