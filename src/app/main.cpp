#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "app/check_command.h"
#include "app/import_command.h"
#include "app/program.h"
#include "base/log.h"
#include "platform/app_folder.h"
#include "platform/command_line.h"
#include "platform/display_session.h"
#include "platform/qt_dialogs.h"
#include "platform/termination.h"
#include "player/player_backend.h"
#include "store/example_group.h"
#include "web/web_command.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    // Options are read before anything starts: a mistyped one must never start a second, headless copy.
    const lingchao::CommandLine commandLine = lingchao::ParseCommandLine(arguments);
    switch (commandLine.action) {
        case lingchao::CommandLine::Action::Help:
        case lingchao::CommandLine::Action::Version:
            std::fputs(commandLine.text.c_str(), stdout);
            return 0;
        case lingchao::CommandLine::Action::Error:
            std::fputs(commandLine.text.c_str(), stderr);
            return 2;
        case lingchao::CommandLine::Action::Check:
            return lingchao::RunCheck(&argc, &argv);
        case lingchao::CommandLine::Action::Import:
            return lingchao::RunImportFromCommandLine(commandLine.importFolder);
        case lingchao::CommandLine::Action::Signal:
            return lingchao::RunSignalBusCommand(commandLine.signalRequest, commandLine.signalName);
        case lingchao::CommandLine::Action::SetPassword:
        case lingchao::CommandLine::Action::NewApiToken:
            return lingchao::RunWebCredentialCommand(commandLine.webRole,
                                                     commandLine.action == lingchao::CommandLine::Action::NewApiToken);
        case lingchao::CommandLine::Action::Run:
            break;
    }
    // The bell must ring on a machine without a display too: then no windows, only the scheduler.
    const lingchao::DisplayChoice display = lingchao::ChooseDisplayForThisSession();
    const bool windows = display.windows;
    if (!display.logLine.empty()) lingchao::LogLine(display.logLine);
    const std::unique_ptr<QCoreApplication> app = lingchao::MakeQtApplication(argc, argv, windows);
    // At start-up, not at the first bell: a cold plugin registry costs a third of a second.
    lingchao::InitPlayerBackend(&argc, &argv);
    std::string folderWarning;
    lingchao::Program program(lingchao::PrepareAppFolder(lingchao::SeedAppFolder, &folderWarning), windows);
    program.warnings().Set("app-folder", folderWarning);
    if (!program.Start()) return 0;
    lingchao::QuitEventLoopOnTermination();
    return app->exec();
}
