#include "window_fixture.h"

#include <cstdio>

namespace {

std::string ObjectName(HGDIOBJ object) {
    const std::pair<int, const char*> stock[] = {{WHITE_PEN, "WHITE_PEN"},     {BLACK_PEN, "BLACK_PEN"},
                                                 {WHITE_BRUSH, "WHITE_BRUSH"}, {NULL_PEN, "NULL_PEN"},
                                                 {NULL_BRUSH, "NULL_BRUSH"},   {BLACK_BRUSH, "BLACK_BRUSH"}};
    for (auto [index, name] : stock)
        if (object == GetStockObject(index)) return name;
    return "other";
}

}  // namespace

std::vector<std::string> DrawingLines(const std::vector<platform::test::GdiCall>& trace) {
    std::vector<std::string> lines;
    char line[700];
    for (const platform::test::GdiCall& call : trace) {
        const std::string& f = call.function;
        if (f == "SelectObject") {
            lines.push_back(f + " " + ObjectName(call.object));
        } else if (f == "SetBkMode" || f == "SetTextColor") {
            std::snprintf(line, sizeof line, "%s 0x%llx", f.c_str(), call.args.empty() ? -1LL : call.args[0]);
            lines.push_back(line);
        } else if (f == "RoundRect") {
            std::string text = f;
            for (long long argument : call.args) text += " " + std::to_string(argument);
            lines.push_back(text);
        } else if (f == "DrawTextA" || f == "DrawTextW") {
            std::snprintf(line, sizeof line, "%s '%s' (%d,%d,%d,%d) 0x%x", f.c_str(), call.text.c_str(), call.rect.left,
                          call.rect.top, call.rect.right, call.rect.bottom, call.flags);
            lines.push_back(line);
        } else if (f == "GetDC" || f == "ReleaseDC" || f == "BeginPaint" || f == "EndPaint") {
            lines.push_back(f);
        }
    }
    return lines;
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> matching;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) matching.push_back(line);
    return matching;
}
