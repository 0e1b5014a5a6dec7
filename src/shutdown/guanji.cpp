#include "shutdown/guanji.h"

#include "base/log.h"

namespace lingchao {
namespace {

void Call(const std::function<void()>& hook) {
    if (hook) hook();
}

}  // namespace

void EnableShutdownPrivilege(ShutdownRequester& requester) { requester.Prepare(); }

std::string ShutdownRefusedText(const ShutdownRequestResult& result) {
    return "关机请求被拒绝：" + (result.reason.empty() ? std::string("原因不明") : result.reason) +
           "。\n计算机没有关闭，铃潮继续运行。";
}

ShutdownRequestResult RunShutdownSequence(ShutdownRequester& requester, Dialogs& dialogs, const ShutdownHooks& hooks) {
    Call(hooks.releaseGuard);
    Call(hooks.removeHotkeys);
    EnableShutdownPrivilege(requester);
    ShutdownRequestResult result = requester.Request();
    if (result.accepted) {
        LogLine("shutdown request accepted; ending");
        Call(hooks.endProgram);
        return result;
    }
    // Ending here would leave the computer on with no bells ringing and nobody told.
    LogLine("shutdown request refused: " + result.detail);
    Call(hooks.installHotkeys);
    Call(hooks.reacquireGuard);
    MessageRequest box;
    box.text = ShutdownRefusedText(result);
    box.title = kShutdownRefusedTitle;
    box.icon = MessageIcon::Information;
    box.buttons = MessageButtons::Ok;
    dialogs.Message(box);
    return result;
}

}  // namespace lingchao
