#include "music/music_names_watcher.h"

#include <QMetaObject>
#include <QStringList>

#include "base/log.h"

namespace lingchao {
namespace {

// Copying a folder of music brings many changes in a row: one scan after they settle.
constexpr int kSettleMs = 1500;

QString Q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

}  // namespace

MusicNamesWatcher::MusicNamesWatcher(std::filesystem::path musicFolder, std::function<void()> changed)
    : musicFolder_(std::move(musicFolder)), changed_(std::move(changed)) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    QObject::connect(&settle_, &QTimer::timeout, &watcher_, [this] { StartWorker(); });
    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_, [this] { Changed(); });
    RescanNow();
}

MusicNamesWatcher::~MusicNamesWatcher() {
    if (worker_.joinable()) worker_.join();
}

std::shared_ptr<const MusicNames> MusicNamesWatcher::RescanNow() {
    auto names = MusicNames::Scan(musicFolder_);
    Install(names, ++generation_);
    return names;
}

void MusicNamesWatcher::Changed() { settle_.start(); }

void MusicNamesWatcher::StartWorker() {
    if (running_) {
        pending_ = true;
        return;
    }
    if (worker_.joinable()) worker_.join();
    running_ = true;
    pending_ = false;
    worker_ = std::thread([this, generation = ++generation_] {
        auto names = MusicNames::Scan(musicFolder_);
        QMetaObject::invokeMethod(
            &watcher_,
            [this, names = std::move(names), generation]() mutable {
                running_ = false;
                Install(std::move(names), generation);
                if (changed_) changed_();
                if (pending_) StartWorker();
            },
            Qt::QueuedConnection);
    });
}

void MusicNamesWatcher::Install(std::shared_ptr<const MusicNames> names, unsigned generation) {
    if (generation < installed_) return;
    installed_ = generation;
    Watch(*names);
    LogLine("music folder: " + std::to_string(names->Files().size()) + " file(s) known by name");
    InstallMusicNames(std::move(names));
}

void MusicNamesWatcher::Watch(const MusicNames& names) {
    const QStringList before = watcher_.directories();
    if (!before.isEmpty()) watcher_.removePaths(before);
    QStringList folders;
    for (const auto& folder : names.Folders()) folders << Q(folder);
    // Without a music folder, its parent tells when one appears.
    if (folders.isEmpty() && musicFolder_.has_parent_path()) folders << Q(musicFolder_.parent_path());
    if (!folders.isEmpty()) watcher_.addPaths(folders);
}

}  // namespace lingchao
