#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

#include "bell/bell.h"

namespace lingchao {

// Runs the bell on a thread of its own, with its own event loop, so that nothing the windows, the desktop's media
// controls or a file dialog do can make it wait. Everything reaches the bell as a queued call.
class BellThread final {
public:
    // Starts the thread and makes the bell there with `make` (its player, timers and watches belong to that
    // thread); returns once it is made.
    explicit BellThread(const std::function<std::unique_ptr<Bell>()>& make);
    // Cancels the bell's workers, destroys it on its thread, then ends the thread.
    ~BellThread();
    BellThread(const BellThread&) = delete;
    BellThread& operator=(const BellThread&) = delete;

    // Runs `work` on the bell's thread soon; never waits for it. Work posted after the bell is gone is dropped.
    void Post(std::function<void(Bell&)> work);

private:
    QThread thread_;
    QObject* home_ = nullptr;  // lives on the bell's thread: queued calls are delivered there
    std::unique_ptr<Bell> bell_;
};

}  // namespace lingchao
