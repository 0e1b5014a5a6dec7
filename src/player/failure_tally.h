#pragma once

#include <cstddef>
#include <string>

namespace lingchao {

// The playback failures of one medium (one bell): the first is told in full, the rest are only counted, so a
// list of a million broken entries writes two lines to the logs, not a million.
class FailureTally final {
public:
    // True for the failure to tell: the first of the medium.
    bool Count() { return count_++ == 0; }
    // True once a failure of this medium was told.
    bool Told() const { return count_ > 0; }
    // "and 4,342 more entries failed" for the failures not told, "" when there were none; starts a new medium.
    std::string Close() {
        const std::size_t untold = count_ > 1 ? count_ - 1 : 0;
        count_ = 0;
        if (untold == 0) return {};
        return "and " + Grouped(untold) + (untold == 1 ? " more entry failed" : " more entries failed");
    }

    // 4342 as "4,342".
    static std::string Grouped(std::size_t n) {
        std::string digits = std::to_string(n);
        for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
        return digits;
    }

private:
    std::size_t count_ = 0;
};

}  // namespace lingchao
