#include "base/text.h"

namespace lingchao {

std::size_t Utf8Length(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

std::string PadRight(std::string_view utf8, std::size_t width) {
    std::string out(utf8);
    const std::size_t len = Utf8Length(utf8);
    if (len < width) out.append(width - len, ' ');
    return out;
}

std::string_view TrimRight(std::string_view text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

std::string_view Trim(std::string_view text) {
    const auto begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    return TrimRight(text.substr(begin));
}

std::string ClipUtf8(std::string_view utf8, std::size_t maxChars) {
    if (maxChars == 0) return {};
    std::size_t chars = 0;
    std::size_t keep = 0;  // bytes of the first maxChars - 1 characters
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
        if (chars == maxChars - 1) keep = i;
        if (++chars > maxChars) return std::string(utf8.substr(0, keep)) + "…";
    }
    return std::string(utf8);
}

std::string CapLines(std::string_view text, std::size_t maxLines, std::size_t maxLineChars) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t shown = 0; shown <= maxLines; ++shown) {
        const std::size_t end = text.find('\n', pos);
        const std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        const bool last = end == std::string_view::npos;
        // One line more than the cap is shown rather than a note that takes its place.
        if (shown == maxLines && !last) break;
        if (shown > 0) out += '\n';
        out += ClipUtf8(line, maxLineChars);
        if (last) return out;
        pos = end + 1;
    }
    std::size_t rest = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        if (text.substr(pos, end - pos).find_first_not_of(" \t\r") != std::string_view::npos) ++rest;
        pos = end + 1;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ' || out.back() == '\r')) out.pop_back();
    if (rest > 0) out += (out.empty() ? "" : "\n") + std::string("……另有 ") + std::to_string(rest) + " 条";
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t len = 0;
        if (lead < 0x80) {
            len = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            len = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            len = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            len = 4;
        } else {
            return false;
        }
        if (i + len > text.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace lingchao
