#include "base/csv.h"

#include "base/text.h"

namespace lingchao {

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos && Trim(text).size() == text.size())
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::vector<std::string> NextCsvRecord(std::string_view text, std::size_t& pos, int& lines, bool& badQuote) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    bool wasQuoted = false;
    badQuote = false;
    while (pos < text.size()) {
        const char c = text[pos];
        if (quoted) {
            if (c == '"') {
                if (pos + 1 < text.size() && text[pos + 1] == '"') {
                    fields.back() += '"';
                    pos += 2;
                    continue;
                }
                quoted = false;
                ++pos;
                continue;
            }
            if (c == '\n') ++lines;
            fields.back() += c;
            ++pos;
            continue;
        }
        if (c == '\r' || c == '\n') {
            pos += (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
            ++lines;
            return fields;
        }
        if (c == ',') {
            fields.emplace_back();
            wasQuoted = false;
        } else if (c == '"' && Trim(fields.back()).empty() && !wasQuoted) {
            fields.back().clear();
            quoted = true;
            wasQuoted = true;
        } else {
            if (wasQuoted && c != ' ') badQuote = true;
            fields.back() += c;
        }
        ++pos;
    }
    if (quoted) badQuote = true;
    ++lines;
    return fields;
}

}  // namespace lingchao
