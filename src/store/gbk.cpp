#include "store/gbk.h"

#include <iconv.h>

#include <algorithm>

#include "base/text.h"

namespace lingchao {
namespace {

constexpr const char* kGbk = "CP936";

// iconv descriptors are not thread-safe; each conversion opens its own (cheap, and rare).
class Converter final {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts one unit; returns false when the input does not convert.
    bool Convert(std::string_view in, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buf[16];
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft != 0) return false;
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return true;
    }

private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence that starts with `lead`, or 0 for a byte that cannot start one.
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    Converter conv(kGbk, "UTF-8");
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        std::size_t len = Utf8SequenceLength(lead);
        if (len == 0 || i + len > utf8.size() || !conv.Ok() || !conv.Convert(utf8.substr(i, len), out)) {
            out.push_back('?');
            len = len == 0 ? 1 : std::min(len, utf8.size() - i);
        }
        i += len;
    }
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk) && gbk.find('\0') == std::string_view::npos) return std::string(gbk);
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    Converter conv("UTF-8", kGbk);
    std::size_t i = 0;
    while (i < gbk.size()) {
        const auto b = static_cast<unsigned char>(gbk[i]);
        if (b == 0) {
            out.push_back(' ');
            ++i;
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
        } else if (i + 1 < gbk.size() && conv.Ok() && conv.Convert(gbk.substr(i, 2), out)) {
            i += 2;
        } else if (conv.Ok() && conv.Convert(gbk.substr(i, 1), out)) {
            ++i;  // single-byte extras of code page 936, such as the euro sign at 0x80
        } else {
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

std::string EncodeFixedGbk(std::string_view utf8, std::size_t width) {
    const std::string gbk = Utf8ToGbk(utf8);
    std::string out;
    out.reserve(width);
    std::size_t i = 0;
    while (i < gbk.size()) {
        const auto b = static_cast<unsigned char>(gbk[i]);
        // In GBK a byte from 0x81 to 0xFE leads a two-byte character; 0x80 and 0xFF stand alone.
        const std::size_t len = (b >= 0x81 && b <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
        if (out.size() + len > width) break;
        out.append(gbk, i, len);
        i += len;
    }
    out.resize(width, ' ');
    return out;
}

std::string DecodeFixedGbk(std::string_view bytes, std::size_t width) { return PadRight(GbkToUtf8(bytes), width); }

std::size_t GbkByteLength(std::string_view utf8) { return Utf8ToGbk(utf8).size(); }

}  // namespace lingchao
