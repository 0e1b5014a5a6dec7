#include "base/log.h"

#include <cstdio>

namespace lingchao {

void LogLine(const std::string& line) {
    std::string out = "lingchao: " + line + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

}  // namespace lingchao
