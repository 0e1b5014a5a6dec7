#include "scheduler/bell_preparer.h"

#include "base/log.h"

namespace lingchao {

void BellPreparer::AfterTick(const LocalDateTime& now) {
    const LocalDateTime ahead = AddSeconds(now, leadSeconds_);
    std::optional<Prepared> wanted;
    // Only the minute about to begin: the current one has had its tick.
    if (ahead.MinuteIndex() > now.MinuteIndex()) {
        if (const std::optional<UpcomingBell> bell = checktime_.BellAt(ahead)) {
            wanted = Prepared{ahead.MinuteIndex(), bell->path};
        }
    }
    if (wanted == prepared_) return;
    if (wanted) {
        LogLine("preparing the bell of " + HourMinuteText(ahead.time) + ": \"" + wanted->path + "\"");
    } else if (prepared_ && prepared_->minute > now.MinuteIndex()) {
        LogLine("the prepared bell is dropped: it will not ring");
    }
    prepared_ = wanted;
    player_.Prepare(wanted ? wanted->path : "");
}

}  // namespace lingchao
