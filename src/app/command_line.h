#pragma once

#include <QStringList>
#include <string>

namespace lingchao {

struct CommandLine {
    enum class Action {
        Run,      // no options: the program itself
        Help,     // text: the usage, for stdout, exit 0
        Version,  // text: "lingchao 4.0.2", for stdout, exit 0
        Check,    // the administrator's check of today's and tomorrow's bells
        Import,   // the old computer's folder (importFolder) copied in without questions
        Error,    // text: what was wrong and the usage, for stderr, exit 2
    };
    Action action = Action::Run;
    std::string text;
    std::string importFolder;  // Import: the folder as given
};

// Reads the arguments (the first is the program's path). Needs no QCoreApplication.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace lingchao
