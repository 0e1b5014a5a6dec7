#include "platform/command_line.h"

#include <QCommandLineParser>
#include <QFile>

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
        QStringLiteral("Print today's and tomorrow's bells and every problem that would keep one of them from "
                       "being heard, then exit: 1 when a problem touches a bell still to ring today or tomorrow, "
                       "0 otherwise. Writes nothing and runs beside a running copy."));
    parser.addOption(check);
    const QCommandLineOption import(
        QStringLiteral("import"),
        QStringLiteral("Copy in the timetable, shutdown settings, job groups and music of the old computer's folder "
                       "DIR without asking, as 导入旧电脑的文件… does: files that differ are replaced, the replaced "
                       "ones kept first in backup/<date time> 导入, files that are not what their names say "
                       "skipped and named. Prints what it did, then exits: 0 when done, 1 on a problem (also "
                       "while the program runs on the same folder), 2 when DIR is not a folder."),
        QStringLiteral("DIR"));
    parser.addOption(import);
    const QCommandLineOption drill(QStringLiteral("drill"),
                                   QStringLiteral("Start the drill or emergency signal NAME in the running copy, "
                                                  "never a copy of its own: exits 0 when it took it, 1 with the "
                                                  "reason when it did not or none runs."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption next(QStringLiteral("next-drill"), QStringLiteral("下一步 of the signal; as --drill."));
    const QCommandLineOption end(QStringLiteral("end-drill"), QStringLiteral("结束 of the signal; as --drill."));
    parser.addOptions({drill, next, end});
    const QCommandLineOption password(
        QStringLiteral("set-password"),
        QStringLiteral("Set the office page's password of ROLE (duty: 值班, admin: 管理), "
                       "read from standard input (one line); only its salted hash is "
                       "kept, in lingchao.ini. An empty line removes it."),
        QStringLiteral("ROLE"));
    const QCommandLineOption token(QStringLiteral("new-api-token"),
                                   QStringLiteral("Print a new API token of ROLE (duty or admin) for the office page's "
                                                  "API (Authorization: Bearer); only its hash is kept, in "
                                                  "lingchao.ini, and the token it replaces stops working."),
                                   QStringLiteral("ROLE"));
    parser.addOptions({password, token});

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
    } else if (parser.isSet(check) + parser.isSet(import) + parser.isSet(drill) + parser.isSet(next) +
                   parser.isSet(end) + parser.isSet(password) + parser.isSet(token) >
               1) {
        result.action = CommandLine::Action::Error;
        result.text =
            "lingchao: only one of --check, --import, the drill and the web options may be given\n\n" + usage();
    } else if (parser.isSet(password) || parser.isSet(token)) {
        const QString role = parser.value(parser.isSet(password) ? password : token);
        if (role != QLatin1String("duty") && role != QLatin1String("admin")) {
            result.action = CommandLine::Action::Error;
            result.text = "lingchao: the role is duty or admin, not '" + role.toStdString() + "'\n\n" + usage();
        } else {
            result.action =
                parser.isSet(password) ? CommandLine::Action::SetPassword : CommandLine::Action::NewApiToken;
            result.webRole = role.toStdString();
        }
    } else if (parser.isSet(check)) {
        result.action = CommandLine::Action::Check;
    } else if (parser.isSet(import)) {
        result.action = CommandLine::Action::Import;
        result.importFolder = QFile::encodeName(parser.value(import)).toStdString();
    } else if (parser.isSet(drill) || parser.isSet(next) || parser.isSet(end)) {
        result.action = CommandLine::Action::Signal;
        result.signalRequest = parser.isSet(drill)  ? SignalRequest::Start
                               : parser.isSet(next) ? SignalRequest::Next
                                                    : SignalRequest::End;
        result.signalName = parser.value(drill).toStdString();
    }
    return result;
}

}  // namespace lingchao
