// Runs one whole-file operation for a test that watches it from outside (a syscall recorder, a size limit):
//   file_util_driver replace TARGET BYTES     writes BYTES bytes of 'n' over TARGET; exit 0 when it says it did
#include <cstdlib>
#include <cstring>

#include "base/file_util.h"

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "replace") == 0) {
        const lingchao::Bytes content(static_cast<std::size_t>(std::atol(argv[3])), 'n');
        return lingchao::ReplaceFileAtomically(argv[2], content) ? 0 : 1;
    }
    return 2;
}
