#pragma once

#include <string>

namespace lingchao {

// How the login manager answered a shutdown request.
struct ShutdownRequestResult {
    bool accepted = false;
    std::string reason;  // refused only: why, in words a teacher understands
    std::string detail;  // refused only: the technical error (for the log)
};

// Asks the operating system to switch the computer off. Plain C++ so the shutdown sequence stays free of Qt.
class ShutdownRequester {
public:
    virtual ~ShutdownRequester() = default;
    // Gets ready for Request() (e.g. connects to the bus); never fails visibly, Request() reports any problem.
    virtual void Prepare() = 0;
    // Asks for a power-off without forcing other sessions; blocks until answered or timed out.
    // accepted means the system took the request and is going down.
    virtual ShutdownRequestResult Request() = 0;
};

}  // namespace lingchao
