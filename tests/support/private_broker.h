#pragma once

#include <sys/types.h>

#include <string>

#include "support/temp_folder.h"

namespace lingchao::test {

inline constexpr const char* kMosquitto = "/usr/sbin/mosquitto";

// A port on 127.0.0.1 no one listens on at the moment.
int FreeLoopbackPort();

// A Mosquitto of the test's own on 127.0.0.1, on a port no one uses, without persistence; stopped with the object.
class PrivateBroker final {
public:
    std::string extra = "allow_anonymous true\n";  // ends its config

    ~PrivateBroker() { Stop(); }
    // Up once its log says so (which every start adds to); false when it ended, having refused its config.
    bool Start();
    void Stop();
    int port() const { return port_; }
    const TempFolder& folder() const { return temp_; }
    // How many lines of its log hold `part`.
    int LogLines(const std::string& part) const;

private:
    TempFolder temp_;
    int port_ = FreeLoopbackPort();
    int starts_ = 0;
    pid_t pid_ = -1;
};

}  // namespace lingchao::test
