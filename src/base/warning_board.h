#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace lingchao {

// How much a warning weighs: Urgent when a bell of today (or something else the user set up for today) may fail,
// Advice when everything still rings but something deserves a look.
enum class WarningLevel { None, Advice, Urgent };

// Everything that can cost a bell, gathered for the clock's warning mark and its tooltip. Each source owns a key
// ("self-check", "sound-output", "clock-sync", ...) and sets or clears its own text; the clock shows them all.
// Plain C++; the bell's thread and the windows' thread both set keys, so every call takes a lock (the listener is
// called outside it, on the thread that made the change).
class WarningBoard final {
public:
    using Listener = std::function<void(const std::string& text)>;

    // Sets `key`'s text; "" clears it. A new text is written to the log once (unless the caller already logged it
    // in more detail), a clearing always; the same text again changes nothing and logs nothing.
    void Set(const std::string& key, const std::string& text, bool alreadyLogged = false);
    void Clear(const std::string& key) { Set(key, ""); }

    // The tooltip: every key's text in the order the keys first spoke, separated by a blank line; "" when none.
    std::string Text() const;
    std::string TextOf(const std::string& key) const;
    bool Empty() const;
    // The weightiest level of the keys up; None when the board is empty.
    WarningLevel Level() const;

    // A key's weight, fixed here for every source: advice for the few listed, urgent for every other.
    static WarningLevel LevelOf(const std::string& key);

    // Called with Text() after every change.
    void SetListener(Listener listener);

    // A source whose cause can mend unseen (nothing tells it) leaves a cheap look at that cause here; the bell's
    // tick runs it every few seconds while the key is up, so the source needs no quick timer of its own. It runs
    // on the bell's thread, outside the board's lock, and may still run once just after being removed: it must
    // hold nothing that can go before it (post to the source's thread, by a guarded pointer).
    using Recheck = std::function<void()>;
    void SetRecheck(const std::string& key, Recheck recheck);  // an empty one removes it
    // Runs the re-check of every key that is up.
    void RecheckUp();

private:
    std::string TextLocked() const;

    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> entries_;
    std::map<std::string, Recheck> rechecks_;
    Listener listener_;
};

}  // namespace lingchao
