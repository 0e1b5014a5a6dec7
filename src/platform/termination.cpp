#include "platform/termination.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "base/log.h"

namespace lingchao {
namespace {

int wakeFds[2] = {-1, -1};

void OnSignal(int number) {
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);  // async-signal-safe
}

}  // namespace

void QuitEventLoopOnTermination() {
    if (wakeFds[0] >= 0 || ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        unsigned char byte = 0;
        while (::read(wakeFds[0], &byte, 1) == 1) {
        }
        LogLine("ending on signal " + std::to_string(byte));
        // Not quit(): that first asks the windows to close, and ours only hide, so it would never end.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

}  // namespace lingchao
