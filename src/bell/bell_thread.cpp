#include "bell/bell_thread.h"

#include <QMetaObject>

namespace lingchao {

BellThread::BellThread(const std::function<std::unique_ptr<Bell>()>& make) {
    thread_.setObjectName(QStringLiteral("bell"));
    home_ = new QObject;
    home_->moveToThread(&thread_);
    thread_.start();
    // Timing matters more to the bell than to anything else the program does.
    thread_.setPriority(QThread::HighPriority);
    QMetaObject::invokeMethod(
        home_, [this, &make] { bell_ = make(); }, Qt::BlockingQueuedConnection);
}

BellThread::~BellThread() {
    if (thread_.isRunning()) {
        QMetaObject::invokeMethod(
            home_,
            [this] {
                if (bell_) bell_->Cancel();
                bell_.reset();
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    delete home_;  // its thread is over: nothing can be delivered to it any more
}

void BellThread::Post(std::function<void(Bell&)> work) {
    QMetaObject::invokeMethod(
        home_,
        [this, work = std::move(work)] {
            if (bell_) work(*bell_);
        },
        Qt::QueuedConnection);
}

}  // namespace lingchao
