#include "ui/moving_commands.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <atomic>
#include <thread>

#include "base/log.h"
#include "player/old_files_import.h"
#include "player/path_tidy.h"
#include "ui/tidy_dialog.h"

namespace lingchao {
namespace {

constexpr const char* kNotice = "提示";

void Tell(Dialogs& dialogs, const std::string& text) {
    dialogs.Message({text, kNotice, MessageIcon::Information, MessageButtons::Ok, 0});
}

// Runs `work` on a worker thread while this thread's events (and so the bells) go on; a progress box appears when
// it takes a while. `work` gets (done, total, cancelled) to report through.
void RunAside(QWidget* parent, const QString& label, bool cancellable,
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
    progress.setWindowTitle(QStringLiteral("导入旧电脑的文件"));
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

}  // namespace

void RunTidyCommand(const MovingServices& services, QWidget* parent) {
    const auto names = services.rescanNames ? services.rescanNames() : MusicNames::Scan(services.appFolder / "music");
    const std::vector<StrayPath> rows = FindStrayPaths(services.appFolder, names);
    if (rows.empty()) {
        Tell(services.dialogs, "没有需要整理的音乐路径：每个路径在本机都能找到文件。");
        return;
    }
    TidyDialog dialog(rows, services.appFolder, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    const TidyResult result = TidyStrayPaths(rows, dialog.groupsAndLists());
    for (const auto& file : result.files) LogLine("music paths tidied in " + file.string());
    for (const auto& failure : result.failures) LogLine("tidy: " + failure);
    if (!result.files.empty() && services.timetableChanged) services.timetableChanged();
    Tell(services.dialogs, TidyResultText(result));
}

void RunImportCommand(const MovingServices& services, QWidget* parent) {
    const std::optional<std::string> folder =
        services.dialogs.OpenFolder({"选择从旧电脑复制来的铃潮文件夹", "", QDir::homePath().toStdString()});
    if (!folder) return;
    ImportPlan plan;
    RunAside(parent, QStringLiteral("正在查看所选的文件夹…"), false,
             [&](auto&, auto&, const auto&) { plan = PlanImport(*folder, services.appFolder); });
    if (!plan.refused.empty()) {
        Tell(services.dialogs, plan.refused);
        return;
    }
    AskReplacements(plan, services.dialogs);
    ImportResult result;
    RunAside(parent, QStringLiteral("正在复制旧电脑的文件…"), true, [&](auto& done, auto& total, const auto& stop) {
        result = RunImport(plan, [&](std::uint64_t d, std::uint64_t t) {
            done = d;
            total = t;
            return !stop.load();
        });
    });
    LogLine("imported from " + *folder + ": " + std::to_string(result.copied) + " new, " +
            std::to_string(result.replaced) + " replaced, " + std::to_string(result.skipped.size()) + " skipped, " +
            std::to_string(result.failed.size()) + " failed");
    for (const auto& line : result.skipped) LogLine("import skipped " + line);
    if (result.timetableChanged && services.timetableChanged) services.timetableChanged();
    if (result.shutdownChanged && services.shutdownChanged) services.shutdownChanged();
    Tell(services.dialogs, ImportResultText(result));
    RunTidyCommand(services, parent);
}

}  // namespace lingchao
