// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/ReportNumber.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/Error.h"
#include "base/SafeSave.h"
#include "base/Text.h"

namespace vyx::service {
namespace fs = std::filesystem;
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// The highest number of `year` written anywhere in the text, "SR-2026-0042"
// giving 42; 0 when there is none.
int Highest(std::string_view text, int year) {
    const std::string head = "SR-" + std::to_string(year) + "-";
    int highest = 0;
    for (size_t at = text.find(head); at != std::string_view::npos; at = text.find(head, at + 1)) {
        if (at > 0 && Digit(text[at - 1])) continue;
        size_t end = at + head.size();
        long n = 0;
        while (end < text.size() && Digit(text[end]) && n < 100000000) n = n * 10 + (text[end++] - '0');
        if (end - (at + head.size()) >= 4 && (end == text.size() || !Digit(text[end])))
            highest = std::max(highest, static_cast<int>(n));
    }
    return highest;
}

// The index's text; empty when there is none. Throws when it is there but cannot be read.
std::string IndexText(const fs::path& folder) {
    const fs::path index = folder / kReportIndex;
    std::error_code ec;
    if (!fs::exists(index, ec)) return {};
    std::ifstream in(index, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        // An empty file reads as nothing at all.
        if (fs::is_regular_file(index, ec) && fs::file_size(index, ec) == 0 && !ec) return {};
        throw Error("cannot read the report index " + PathToUtf8(index));
    }
    return text.str();
}

}  // namespace

std::string ReportNumberText(int year, int number) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "SR-%04d-%04d", year, number);
    return buf;
}

std::string NextReportNumber(const fs::path& folder, int year) {
    int highest = Highest(IndexText(folder), year);
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        // Each entry's name, and those one level down: a report's folder holds its files.
        for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
            highest = std::max(highest, Highest(PathToUtf8(it->path().filename()), year));
            std::error_code sub;
            if (!it->is_directory(sub)) continue;
            for (auto in = fs::directory_iterator(it->path(), sub); !sub && in != fs::directory_iterator();
                 in.increment(sub))
                highest = std::max(highest, Highest(PathToUtf8(in->path().filename()), year));
        }
    }
    return ReportNumberText(year, highest + 1);
}

std::string ReportNumberHolder(const fs::path& folder, std::string_view number) {
    const std::string text = IndexText(folder);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && std::string_view(line).substr(0, tab) == number) {
            const std::string name = line.substr(tab + 1);
            return name.empty() ? "?" : name;
        }
    }
    return {};
}

void RecordReportNumber(const fs::path& folder, std::string_view number, std::string_view report) {
    std::string text = IndexText(folder);
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += std::string(number) + "\t" + std::string(report) + "\n";
    SaveFileBytes(folder / kReportIndex, text);
}

int YearOf(std::string_view time) {
    if (time.size() < 5 || time[4] != '-' || !std::all_of(time.begin(), time.begin() + 4, Digit)) return 0;
    return std::stoi(std::string(time.substr(0, 4)));
}

}  // namespace vyx::service
