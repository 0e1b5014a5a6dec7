#include "app/program.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "store/file_util.h"

namespace lingchao {

bool InstallChineseTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        LogLine("Qt's Chinese translations (qtbase_zh_CN.qm) not found: standard buttons stay English");
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

Program::Program(std::filesystem::path appFolder, bool windows)
    : appFolder_(std::move(appFolder)),
      runtime_(appFolder_, player_),
      jilu_(appFolder_, nullptr, [this] { runtime_.scheduler().BuildScheduleIndex(); }) {
    if (!windows) return;
    form4_ = std::make_unique<Form4>(Form4::Services{
        jilu_, dialogs_, player_, [this](const JobRecord& r) { return runtime_.scheduler().PickJobMusic(r); }});
    form4_->SetPlayerCommands({[this] { player_.Play(); }, [this] { player_.Pause(); },
                               [this] {
                                   player_.Stop();
                                   player_.SetFileName((appFolder_ / "music" / "null.dll").string());
                               }});
    form4_->hooks().quit = [this] { QuitProgram(); };
}

Program::~Program() = default;

void Program::Start() {
    runtime_.Start();
    // Until the clock window exists, the main window is the program's face.
    ShowMainWindow();
}

void Program::ShowMainWindow() { lingchao::ShowMainWindow(form4_.get()); }

void Program::QuitProgram() {
    const MessageRequest ask{"确定退出铃潮吗？", "退出", MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (dialogs_.Message(ask) == MessageAnswer::Ok) QCoreApplication::quit();
}

}  // namespace lingchao
