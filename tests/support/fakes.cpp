#include "support/fakes.h"

#include <chrono>
#include <thread>

namespace lingchao::test {

std::vector<MusicProblem> FakeProbe::Check(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        asked_.push_back(path);
    }
    if (const auto it = bad.find(path); it != bad.end()) return {{0, "", path, it->second}};
    return {};
}

std::optional<MediaProbe::Findings> FakeProbe::CheckAll(const std::vector<std::string>& paths,
                                                        const CancelToken& cancel) {
    ++passes;
    while (blocked && !cancel.Cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return MediaProbe::CheckAll(paths, cancel);
}

std::vector<std::string> FakeProbe::Asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
}

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
