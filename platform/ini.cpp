#include "platform/ini.h"

#include "platform/file_rewrite.h"

#include <unistd.h>
#include <vector>

namespace platform {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";
// A settings file holds a few hundred bytes; anything near this is no
// settings file, and reading it whole would only cost memory.
constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

std::string_view trimmed(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// One line of the file with its line end kept apart, so that rewriting the
// file reproduces every untouched line exactly.
struct Line {
    std::string text;
    std::string end;
};

std::vector<Line> splitLines(const std::string& content) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t lf = content.find('\n', pos);
        const size_t stop = lf == std::string::npos ? content.size() : lf;
        Line line;
        line.text = content.substr(pos, stop - pos);
        if (lf != std::string::npos) {
            line.end = "\n";
            if (!line.text.empty() && line.text.back() == '\r') {
                line.text.pop_back();
                line.end = "\r\n";
            }
        }
        lines.push_back(std::move(line));
        pos = lf == std::string::npos ? content.size() : lf + 1;
    }
    return lines;
}

// The name of a section line ("[name]"), or nullopt-like empty flag.
bool sectionName(std::string_view text, std::string_view& name) {
    const std::string_view t = trimmed(text);
    if (t.empty() || t.front() != '[') {
        return false;
    }
    const size_t close = t.find(']');
    name = trimmed(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
    return true;
}

bool keyOf(std::string_view text, std::string_view& key, std::string_view& value) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    key = trimmed(text.substr(0, eq));
    value = trimmed(text.substr(eq + 1));
    return !key.empty();
}

std::string_view unquoted(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

bool readWhole(const std::string& path, std::string& content) {
    return readWholeFile(path, content, kMaxFileBytes);
}

// A text that would end its line early or split it.
bool breaksLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string lineEndOf(const std::string& content) {
    const size_t lf = content.find('\n');
    if (lf != std::string::npos && (lf == 0 || content[lf - 1] != '\r')) {
        return "\n";
    }
    return "\r\n";
}

} // namespace

std::string readProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::string& path) {
    std::string content;
    if (readWhole(path, content)) {
        bool inSection = false;
        for (const Line& line : splitLines(content)) {
            std::string_view name;
            if (sectionName(line.text, name)) {
                inSection = sameName(name, section);
                continue;
            }
            std::string_view k;
            std::string_view v;
            if (inSection && keyOf(line.text, k, v) && sameName(k, key)) {
                return std::string(unquoted(v));
            }
        }
    }
    return std::string(trimmed(defaultValue));
}

bool writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
    if (breaksLine(section) || breaksLine(key) || breaksLine(value)) {
        return false;
    }
    std::string content;
    if (!readWhole(path, content) && access(path.c_str(), F_OK) == 0) {
        return false;
    }
    const std::string eol = lineEndOf(content);
    std::vector<Line> lines = splitLines(content);
    const std::string newLine = std::string(key) + "=" + std::string(value);

    bool inSection = false;
    size_t insertAt = std::string::npos; // after the last non-blank line of the section
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (sectionName(lines[i].text, name)) {
            if (inSection) {
                break;
            }
            inSection = sameName(name, section);
            if (inSection) {
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        std::string_view k;
        std::string_view v;
        if (keyOf(lines[i].text, k, v) && sameName(k, key)) {
            lines[i].text = newLine;
            insertAt = std::string::npos;
            break;
        }
        if (!trimmed(lines[i].text).empty()) {
            insertAt = i + 1;
        }
    }

    if (!lines.empty() && lines.back().end.empty()) {
        lines.back().end = eol;
    }
    if (insertAt != std::string::npos) {
        lines.insert(lines.begin() + std::ptrdiff_t(insertAt), Line{newLine, eol});
    } else if (!inSection) {
        lines.push_back(Line{"[" + std::string(section) + "]", eol});
        lines.push_back(Line{newLine, eol});
    }

    std::string out;
    for (const Line& line : lines) {
        out += line.text;
        out += line.end;
    }
    return rewriteFile(path, out);
}

} // namespace platform
