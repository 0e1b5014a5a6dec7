#include "bell/tones.h"

#include "base/file_util.h"

namespace lingchao {

std::string ToneFile(std::string_view name, const std::filesystem::path& folder, std::string* why) {
    const std::string_view bytes = ToneBytes(name);
    if (bytes.empty()) {
        *why = "没有这个内置声音：" + std::string(name);
        return {};
    }
    const std::filesystem::path file = folder / (std::string(name) + ".wav");
    const StoredFile there = ReadStoredFile(file, bytes.size() + 1);
    if (there.usable() &&
        std::string_view(reinterpret_cast<const char*>(there.bytes.data()), there.bytes.size()) == bytes) {
        return file.string();
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!ReplaceFileAtomically(file, Bytes(bytes.begin(), bytes.end()), why)) return {};
    return file.string();
}

}  // namespace lingchao
