// Asks for a shutdown through the real requester and prints the answer:
// "accepted", or "refused<TAB>reason<TAB>detail". Usage: shutdown_requester_probe [timeout ms]
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/logind_shutdown_requester.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    lingchao::LogindShutdownRequester requester(argc > 1 ? std::atoi(argv[1]) : 10000);
    requester.Prepare();
    const lingchao::ShutdownRequestResult result = requester.Request();
    if (result.accepted) {
        std::printf("accepted\n");
    } else {
        std::printf("refused\t%s\t%s\n", result.reason.c_str(), result.detail.c_str());
    }
    return 0;
}
