#include "support/fakes.h"

namespace lingchao::test {

MessageAnswer ScriptedDialogs::Message(const MessageRequest& request) {
    messages.push_back(request);
    if (!answers.empty()) {
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (request.buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::OkCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}

std::optional<std::string> ScriptedDialogs::OpenFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<std::string> ScriptedDialogs::SaveFile(const FileDialogRequest& request) { return OpenFile(request); }

std::optional<std::string> ScriptedDialogs::OpenFolder(const FileDialogRequest& request) { return OpenFile(request); }

}  // namespace lingchao::test
