#pragma once

#include "base/dialogs.h"

namespace lingchao {

// Without a display nobody can answer a box: its text goes to the log and it counts as cancelled.
class LogDialogs final : public Dialogs {
public:
    MessageAnswer Message(const MessageRequest& request) override;
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const FileDialogRequest&) override { return std::nullopt; }
};

}  // namespace lingchao
