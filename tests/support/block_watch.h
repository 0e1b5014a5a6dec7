#pragma once

#include <QEvent>
#include <QObject>
#include <algorithm>
#include <vector>

namespace lingchao::test {

// Notes each window a modal window blocks (install it as an event filter on the windows to watch).
class BlockWatch final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked) blocked.push_back(watched);
        if (event->type() == QEvent::WindowUnblocked) std::erase(blocked, watched);
        return false;
    }
    bool Blocked(QObject* w) const { return std::count(blocked.begin(), blocked.end(), w) > 0; }
    std::vector<QObject*> blocked;
};

}  // namespace lingchao::test
