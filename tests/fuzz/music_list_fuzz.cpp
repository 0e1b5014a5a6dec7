// Music lists come from other programs too: any bytes must read as entries, and what is written reads back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/music_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lingchao;
    const std::vector<std::string> entries =
        ParseMusicList(std::string_view(reinterpret_cast<const char*>(data), size));
    // Written back as the editor saves it and read again, the list keeps its entries in number and order.
    const Bytes written = EncodeMusicList(entries);
    const auto again = ParseMusicList(std::string_view(reinterpret_cast<const char*>(written.data()), written.size()));
    if (again.size() != entries.size()) __builtin_trap();
    if (EncodeMusicList(again) != written) __builtin_trap();
    return 0;
}
