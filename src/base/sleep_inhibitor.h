#pragma once

#include <string>

namespace lingchao {

// Keeps the computer from going to sleep on its own (idle suspend) while bells are still to ring.
// Plain C++ so the scheduler's wiring can be tested with a fake.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    // Holds the lock, telling the system why; a new reason replaces the held lock without a moment unheld.
    // Never blocks the caller; when the system offers no such lock, that is logged once and nothing else happens.
    virtual void Hold(const std::string& why) = 0;
    // Lets the computer sleep again; nothing when no lock is held.
    virtual void Release() = 0;
};

}  // namespace lingchao
