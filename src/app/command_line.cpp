#include "app/command_line.h"

#include <QCommandLineParser>

namespace lingchao {

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "铃潮 (Lingchao) rings a school's timetable: at set minutes it plays class bells and other music.\n"
        "Without options it starts the program: the floating clock, or without a display the scheduler alone."));
    // Qt's own help option would also offer --help-all for Qt's options, which this program does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print these options and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Print today's and tomorrow's bells and every problem that would keep one of today's from "
                       "being heard, then exit: 0 when all of today's bells can play, 1 otherwise. Writes "
                       "nothing and runs beside a running copy."));
    parser.addOption(check);

    CommandLine result;
    const auto usage = [&parser] {
        // Without a QCoreApplication Qt names the program "<executable_name>".
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("lingchao"));
        return text.toStdString();
    };
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Error;
        result.text = "lingchao: " + parser.errorText().toStdString() + "\n\n" + usage();
    } else if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.text = "lingchao: unexpected argument '" + parser.positionalArguments().constFirst().toStdString() +
                      "'\n\n" + usage();
    } else if (parser.isSet(help)) {
        result.action = CommandLine::Action::Help;
        result.text = usage();
    } else if (parser.isSet(version)) {
        result.action = CommandLine::Action::Version;
        result.text = "lingchao " + std::to_string(LINGCHAO_VERSION_MAJOR) + "." +
                      std::to_string(LINGCHAO_VERSION_MINOR) + "." + std::to_string(LINGCHAO_VERSION_PATCH) + "\n";
    } else if (parser.isSet(check)) {
        result.action = CommandLine::Action::Check;
    }
    return result;
}

}  // namespace lingchao
