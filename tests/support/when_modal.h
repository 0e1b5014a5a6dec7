#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>

namespace lingchao::test {

// Calls `answer` on the next modal dialog of type T, from the event loop of that dialog.
template <class T>
void WhenModal(std::function<void(T*)> answer) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, answer = std::move(answer)] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        } else if (clock->elapsed() > 20000) {  // far beyond need: the machine may be loaded
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog appeared";
        }
    });
    timer->start(0);
}

}  // namespace lingchao::test
