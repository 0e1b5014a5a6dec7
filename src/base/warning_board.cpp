#include "base/warning_board.h"

#include <algorithm>

#include "base/log.h"

namespace lingchao {
namespace {

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

void WarningBoard::Set(const std::string& key, const std::string& text, bool alreadyLogged) {
    std::unique_lock lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == key; });
    if (it == entries_.end() ? text.empty() : it->second == text) return;
    if (text.empty()) {
        entries_.erase(it);
    } else if (it == entries_.end()) {
        entries_.emplace_back(key, text);
    } else {
        it->second = text;
    }
    const std::string all = TextLocked();
    const Listener listener = listener_;
    lock.unlock();
    if (text.empty()) {
        LogLine("warning cleared (" + key + ")");
    } else if (!alreadyLogged) {
        LogLine("warning (" + key + "): " + OneLine(text));
    }
    if (listener) listener(all);
}

bool WarningBoard::Empty() const {
    std::lock_guard lock(mutex_);
    return entries_.empty();
}

WarningLevel WarningBoard::LevelOf(const std::string& key) {
    // Advice: the bells still ring as set. A key not named here is urgent, so a new source is never played down.
    static const char* const kAdvice[] = {
        "clock-sync",          // they ring, perhaps a little early or late
        "found-by-name",       // they ring, from the file found by its name
        "tomorrow",            // today's ring; there is an evening to mend tomorrow's
        "folder-permissions",  // others could change the timetable, nobody has
        "instance-guard",      // only a second copy would ring twice
        "web",                 // the office page is off; the bells ring as set
        "campus",              // cut off from the other PCs; this one rings from its own copy
        "standby",             // the PC stood by for is down; this one rings its bells
    };
    for (const char* advice : kAdvice) {
        if (key == advice) return WarningLevel::Advice;
    }
    return WarningLevel::Urgent;
}

WarningLevel WarningBoard::Level() const {
    std::lock_guard lock(mutex_);
    WarningLevel level = WarningLevel::None;
    for (const auto& entry : entries_) level = std::max(level, LevelOf(entry.first));
    return level;
}

void WarningBoard::SetListener(Listener listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void WarningBoard::SetRecheck(const std::string& key, Recheck recheck) {
    std::lock_guard lock(mutex_);
    if (recheck) {
        rechecks_[key] = std::move(recheck);
    } else {
        rechecks_.erase(key);
    }
}

void WarningBoard::RecheckUp() {
    std::vector<Recheck> due;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_) {
            if (const auto it = rechecks_.find(entry.first); it != rechecks_.end()) due.push_back(it->second);
        }
    }
    for (const Recheck& recheck : due) recheck();
}

std::string WarningBoard::Text() const {
    std::lock_guard lock(mutex_);
    return TextLocked();
}

std::string WarningBoard::TextLocked() const {
    std::string out;
    for (const auto& [key, text] : entries_) out += (out.empty() ? "" : "\n\n") + text;
    return out;
}

std::string WarningBoard::TextOf(const std::string& key) const {
    std::lock_guard lock(mutex_);
    for (const auto& [k, text] : entries_) {
        if (k == key) return text;
    }
    return {};
}

}  // namespace lingchao
