#pragma once

#include <functional>
#include <string>

#include "base/dialogs.h"
#include "base/shutdown_requester.h"

namespace lingchao {

// The steps of ending the program that other parts own. An empty hook is skipped.
struct ShutdownHooks {
    std::function<void()> releaseGuard;    // close every open file, letting go of the single-instance guard
    std::function<void()> removeHotkeys;   // release the global hotkeys
    std::function<void()> installHotkeys;  // take them again when the shutdown was refused
    std::function<void()> reacquireGuard;  // take the single-instance guard again when the shutdown was refused
    std::function<void()> endProgram;      // the request was accepted: leave now
};

// Gets the process ready to ask for a shutdown. On Linux the right to shut down is the login manager's
// decision, so this only prepares the request; its result is not examined.
void EnableShutdownPrivilege(ShutdownRequester& requester);

// Message shown when the shutdown request did not go through.
inline constexpr const char* kShutdownRefusedTitle = "提示";
std::string ShutdownRefusedText(const ShutdownRequestResult& result);

// Release the guard, remove the hotkeys, prepare, request, end the program.
// Refused: the program stays usable (hotkeys and guard taken again) and the reason is shown through `dialogs`.
ShutdownRequestResult RunShutdownSequence(ShutdownRequester& requester, Dialogs& dialogs, const ShutdownHooks& hooks);

}  // namespace lingchao
