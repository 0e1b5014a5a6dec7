#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/media_player.h"
#include "scheduler/checktime.h"
#include "scheduler/clock.h"

namespace lingchao {

// Has the player open the music of the next bell a few seconds before its minute, so that the tick only starts
// it. After every tick it asks again which bell the coming minute rings: a job paused meanwhile, another job
// of the minute, a clock that jumped or a minute that passed without the bell all drop what was prepared.
// Outside those seconds it holds nothing.
class BellPreparer final {
public:
    BellPreparer(const Checktime& checktime, MediaPlayer& player, int leadSeconds)
        : checktime_(checktime), player_(player), leadSeconds_(leadSeconds) {}

    // After the tick of `now`.
    void AfterTick(const LocalDateTime& now);

private:
    struct Prepared {
        std::int64_t minute = 0;
        std::string path;
        bool operator==(const Prepared&) const = default;
    };

    const Checktime& checktime_;
    MediaPlayer& player_;
    int leadSeconds_;
    std::optional<Prepared> prepared_;
};

}  // namespace lingchao
