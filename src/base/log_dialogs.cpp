#include "base/log_dialogs.h"

#include "base/log.h"

namespace lingchao {

MessageAnswer LogDialogs::Message(const MessageRequest& request) {
    LogLine(request.title + ": " + request.text);
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

}  // namespace lingchao
