#include "support/fakes.h"

namespace lingchao::test {

void FakeClock::AdvanceSeconds(int seconds) {
    std::int64_t days = DaysFromCivil(now_.date);
    std::int64_t secs = now_.time.Seconds() + seconds;
    days += secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    secs = ((secs % 86400) + 86400) % 86400;
    // Civil date from days (Hinnant's civil_from_days).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    Set({y, m, d}, {static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)});
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
