#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace lingchao {

// What is asked of the running copy: start a drill or emergency signal by name, its next step (下一步), its end
// (结束).
enum class SignalRequest { Start, Next, End };

// Drill and emergency signals started, stepped and ended in the running copy from outside (a button wired to a
// script runs `lingchao --drill 地震演练`): the running copy serves them on the session bus as net.lingchao.Bell,
// /net/lingchao/Bell, interface net.lingchao.Signals: Start(s name) -> s why, Next() -> s why, End() -> s why,
// `why` "" when taken. Needs a QCoreApplication; lives on its thread.
class SignalBusService final {
public:
    // "" when the signal was taken, else why not, as the bell says it. Called once, from any thread, at any time
    // later; a reply dropped unanswered answers that the program did not take it.
    using Reply = std::function<void(const std::string& why)>;
    // Takes each request the bus lets through; `name` is empty but for Start.
    using Hook = std::function<void(SignalRequest request, const std::string& name, Reply reply)>;

    explicit SignalBusService(Hook hook);
    ~SignalBusService();
    SignalBusService(const SignalBusService&) = delete;
    SignalBusService& operator=(const SignalBusService&) = delete;

    // Puts the service on the session bus. False when there is no session bus or the name is taken, logged with
    // the reason; the program goes on without it.
    bool Register();

private:
    class Exported;
    std::unique_ptr<Exported> exported_;
    bool registered_ = false;
};

enum class SignalBusAnswer {
    Taken,      // the running copy took it
    Refused,    // it said why not, or did not answer in time; the reason in `why`
    NoProgram,  // no running copy on the session bus (nor a session bus): "没有正在运行的铃潮"
};

// Asks the running copy (`name`: Start's signal). Never starts a copy, nor a session bus. Runs a local event loop
// until the answer or `timeout`.
SignalBusAnswer SignalBusCall(SignalRequest request, const std::string& name, std::string* why,
                              std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The command line's side: makes a QCoreApplication when there is none, asks, prints a refusal to stderr and
// gives the exit code: 0 taken, 1 not.
int RunSignalBusCommand(SignalRequest request, const std::string& name);

}  // namespace lingchao
