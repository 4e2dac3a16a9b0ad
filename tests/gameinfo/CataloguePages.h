#pragma once
// Catalogue pages as the outside server lays them out, in UTF-8 (tests encode them).
#include <functional>
#include <string>
#include <vector>

struct PageModel {
    std::string title, maker, format, genre, price, saleDate;
    // Title inside a bold element, or ending in a line break with no "</".
    bool boldTitle = true;
    // Lines between the fields (called before each); none when not set.
    std::function<std::vector<std::string>()> filler = nullptr;
};

inline std::vector<std::string> PageLines(const PageModel& page)
{
    std::vector<std::string> lines = {"<html><head><title>SOFTWARE</title></head><body><table>"};
    const auto fill = [&] {
        if (page.filler) {
            for (std::string& line : page.filler()) {
                lines.push_back(std::move(line));
            }
        }
    };
    fill();
    lines.push_back(page.boldTitle ? "<td class=\"titlename\"><b>" + page.title + "</b></td></tr>"
                                   : "<tr><td class=\"titlename\">" + page.title + "<br>");
    fill();
    lines.push_back("<tr><td class=\"licensee-name\">" + page.maker + "</td></tr>");
    const std::pair<const char*, const std::string*> cells[] = {
        {"フォーマット", &page.format}, {"ジャンル", &page.genre}, {"希望小売価格", &page.price}, {"発売日", &page.saleDate}};
    for (const auto& [label, value] : cells) {
        fill();
        lines.insert(lines.end(), {"<tr><th class=\"label\">" + std::string(label) + "</th>", "</tr>", "<tr>",
                                   "<td class=\"value\"><font size=\"2\">" + *value + "</font></td></tr>"});
    }
    fill();
    lines.push_back("</table></body></html>");
    return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines, const std::string& end = "\n")
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + end;
    }
    return text;
}
