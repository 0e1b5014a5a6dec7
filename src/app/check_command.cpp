#include "app/check_command.h"

#include <filesystem>
#include <iostream>

#include "platform/app_folder.h"
#include "player/media_probe.h"
#include "player/player_backend.h"
#include "scheduler/check_report.h"
#include "store/jilu.h"

namespace lingchao {

int RunCheck(int* argc, char*** argv) {
    const std::filesystem::path folder = CurrentAppFolder();
    std::cout << "application folder: " << folder.string() << "\n";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(folder / kDefaultGroup, ec)) {
        std::cout << "no timetable there yet (" << kDefaultGroup << " is missing)\n";
    }
    InitPlayerBackend(argc, argv);
    GstMediaProbe probe;
    CheckInput input;
    input.groupFile = folder / kDefaultGroup;
    input.now = SystemClock().Now();
    input.probe = &probe;
    const bool ok = WriteCheckReport(std::cout, input);
    std::cout.flush();
    return ok ? 0 : 1;
}

}  // namespace lingchao
