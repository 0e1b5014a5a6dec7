#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>
#include <memory>

#include "app/runtime.h"
#include "platform/app_folder.h"
#include "store/file_util.h"

namespace {

// Until the player exists, a firing is only logged.
class LogOnlyPlayer final : public lingchao::MediaPlayer {
public:
    void SetFileName(const std::string& path) override {
        fileName_ = path;
        lingchao::LogLine("play \"" + path + "\"");
    }
    std::string FileName() const override { return fileName_; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}

private:
    std::string fileName_;
};

bool HasDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0') ||
           (platform != nullptr && *platform != '\0');
}

}  // namespace

int main(int argc, char** argv) {
    // The bell must ring on a machine without a display too: then no windows, only the scheduler.
    std::unique_ptr<QCoreApplication> app;
    if (HasDisplay()) {
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
        lingchao::LogLine("no display: running without windows");
    }
    LogOnlyPlayer player;
    lingchao::Runtime runtime(lingchao::ExecutableFolder(), player);
    runtime.Start();
    return app->exec();
}
