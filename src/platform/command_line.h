#pragma once

#include <QStringList>
#include <string>

#include "platform/signal_bus.h"

namespace lingchao {

struct CommandLine {
    enum class Action {
        Run,          // no options: the program itself
        Help,         // text: the usage, for stdout, exit 0
        Version,      // text: "lingchao 4.0.2", for stdout, exit 0
        Check,        // the administrator's check of today's and tomorrow's bells
        Import,       // the old computer's folder (importFolder) copied in without questions
        Signal,       // --drill (signalName), --next-drill, --end-drill: asked of the running copy; exit 0 taken, 1 not
        SetPassword,  // --set-password duty|admin (webRole): the office page's password, read from stdin
        NewApiToken,  // --new-api-token duty|admin (webRole): a new token printed, its hash kept
        Error,        // text: what was wrong and the usage, for stderr, exit 2
    };
    Action action = Action::Run;
    std::string text;
    std::string importFolder;  // Import: the folder as given
    SignalRequest signalRequest = SignalRequest::Start;
    std::string signalName;  // Signal: the drill or emergency signal to start, by its name in drills.csv
    std::string webRole;     // SetPassword, NewApiToken: "duty" or "admin"
};

// Reads the arguments (the first is the program's path). Needs no QCoreApplication.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace lingchao
