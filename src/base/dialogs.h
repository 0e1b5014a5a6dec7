#pragma once

#include <optional>
#include <string>

namespace lingchao {

enum class MessageIcon { None, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    int defaultButton = 0;     // 0 = first button (OK / Yes), 1 = second (Cancel / No)
    bool systemModal = false;  // stays above every window, also with no window of ours shown
};

struct FileDialogRequest {
    std::string title;
    std::string filter;  // "label|pattern|label|pattern|", patterns separated by ";"
    std::string startFolder;
};

// Message boxes and file dialogs. Every box the program shows goes through here, so tests can answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a modal box and returns the button pressed; closing the box counts as its cancel button
    // (Cancel, No, or OK for a box with OK alone).
    virtual MessageAnswer Message(const MessageRequest& request) = 0;
    // Full path of one existing file chosen to open; nullopt when cancelled.
    virtual std::optional<std::string> OpenFile(const FileDialogRequest& request) = 0;
    // Full path chosen to save to (the file need not exist; no overwrite question is asked); nullopt when cancelled.
    virtual std::optional<std::string> SaveFile(const FileDialogRequest& request) = 0;
    // Full path of one existing folder (the filter is not used); nullopt when cancelled or not offered.
    virtual std::optional<std::string> OpenFolder(const FileDialogRequest& request) {
        static_cast<void>(request);
        return std::nullopt;
    }
};

}  // namespace lingchao
