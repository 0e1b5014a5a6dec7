// Group files come from anywhere (a USB stick, an old PC): decoding must never crash or read out of range.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/text.h"
#include "store/gbk.h"
#include "store/group_file.h"
#include "store/job_record.h"
#include "store/timeparse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lingchao;
    const Bytes file(data, data + size);
    const int n = JobCountFromLength(file.size());
    for (int k = 0; k <= n + 1 && k < 4; ++k) {
        const JobRecord r = DecodeJobRecord(RecordFrom(file, k));
        (void)JobRowText(r);
        (void)ParseTimeOfDay(r.JobTime);
        (void)ParseDate(Trim(r.JobDate));
        for (int d = 0; d <= 8; ++d) (void)MusicForWeekday(r, d);
        const RecordBytes again = EncodeJobRecord(r);
        // What the program writes back always reads back as the same texts.
        const JobRecord back = DecodeJobRecord(again);
        if (back.JobName != r.JobName || back.JobFlags != r.JobFlags) __builtin_trap();
    }
    (void)DecodeJobRecord(std::span<const std::uint8_t>(data, size));
    return 0;
}
