#include "app/check_command.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "base/sound_output.h"
#include "music/music_names.h"
#include "platform/app_folder.h"
#include "platform/pulse_output.h"
#include "player/gst_media_probe.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "scheduler/check_report.h"
#include "store/jilu.h"

namespace lingchao {
namespace {

// Prints what the sound server says of the output; returns what the clock's warning would say of it, "" when a
// bell can be heard.
std::string SoundOutputProblem() {
    PulseOutputMonitor monitor;
    SoundOutputState state;
    QEventLoop loop;
    monitor.SetListener([&](const SoundOutputState& s) {
        state = s;
        loop.quit();
    });
    // The monitor answers within its own limit; this one only guards against a monitor that never does.
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    monitor.Check();
    loop.exec();
    const std::string text = !state.server            ? "no sound server"
                             : state.sinkName.empty() ? "no default sink"
                                                      : SoundOutputText(state);
    std::cout << "sound output: " << text << "\n";
    const std::string warning = SoundOutputWarning(state);
    return warning.empty() ? "" : "sound output: " + warning;
}

}  // namespace

int RunCheck(int* argc, char*** argv) {
    const std::filesystem::path folder = CurrentAppFolder();
    std::cout << "application folder: " << folder.string() << "\n";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(folder / kDefaultGroup, ec)) {
        std::cout << "no timetable there yet (" << kDefaultGroup << " is missing)\n";
    }
    QCoreApplication app(*argc, *argv);
    InitPlayerBackend(argc, argv);
    // As the running program does: paths written on another computer are looked for by name.
    InstallMusicNames(MusicNames::Scan(MusicFolder(folder)));
    GstMediaProbe probe;
    CheckInput input;
    input.appFolder = folder;
    input.now = SystemClock().Now();
    input.probe = &probe;
    if (std::string sound = SoundOutputProblem(); !sound.empty()) input.otherProblems.push_back(std::move(sound));
    const bool ok = WriteCheckReport(std::cout, input);
    std::cout.flush();
    return ok ? 0 : 1;
}

}  // namespace lingchao
