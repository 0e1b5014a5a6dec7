#include "support/private_broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace lingchao::test {

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    close(fd);
    return bound ? ntohs(addr.sin_port) : 0;
}

bool PrivateBroker::Start() {
    const std::string conf = (temp_ / "mosquitto.conf").string();
    const passwd* user = getpwuid(geteuid());  // as root it would drop to the user mosquitto
    std::ofstream(conf) << "listener " << port_ << " 127.0.0.1\npersistence false\nuser "
                        << (user != nullptr ? user->pw_name : "root") << "\nlog_dest file "
                        << (temp_ / "broker.log").string() << "\n"
                        << extra;
    char* argv[] = {const_cast<char*>(kMosquitto), const_cast<char*>("-c"), const_cast<char*>(conf.c_str()), nullptr};
    if (posix_spawn(&pid_, kMosquitto, nullptr, nullptr, argv, environ) != 0) return false;
    const int started = ++starts_;
    // Far beyond need: the machine may be loaded.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (LogLines(" running") < started) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_ || std::chrono::steady_clock::now() > end) {
            Stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void PrivateBroker::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

int PrivateBroker::LogLines(const std::string& part) const {
    std::ifstream log(temp_ / "broker.log");
    int count = 0;
    for (std::string line; std::getline(log, line);) count += line.find(part) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace lingchao::test
