// Drives the real logind sleep inhibitor through a script of steps, one per argument, and prints what it holds
// after each: "hold:<why>" asks for the lock, "release" lets go, "quit" destroys the inhibitor.
// Usage: sleep_inhibitor_probe step...
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/logind_sleep_inhibitor.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    auto inhibitor = std::make_unique<lingchao::LogindSleepInhibitor>("铃潮", 30000);
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        if (step.rfind("hold:", 0) == 0) {
            inhibitor->Hold(step.substr(5));
        } else if (step == "release") {
            inhibitor->Release();
        } else if (step == "quit") {
            inhibitor.reset();
            std::printf("quit\n");
            continue;
        }
        const QDeadlineTimer deadline(60000);
        while (inhibitor->Pending() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(5);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // a finished call's copy of the lock
        std::printf("%s: %s\n", step.c_str(),
                    inhibitor->HeldReason().empty() ? "none" : ("held " + inhibitor->HeldReason()).c_str());
        std::fflush(stdout);
    }
    return 0;
}
