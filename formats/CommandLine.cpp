#include "CommandLine.h"

#include <cctype>

namespace {
constexpr size_t kMaxName = 255;

void AddName(CCommandLine& line, int& names, const std::string& name)
{
    std::string cut = name.substr(0, kMaxName);
    if (names == 0)
        line.input = cut;
    else if (names == 1)
        line.output = cut;
    ++names;
}
}  // namespace

CCommandLine ScanCommandLine(const std::vector<std::string>& args)
{
    CCommandLine line;
    int names = 0;
    for (const std::string& arg : args) {
        size_t i = 0;
        const size_t n = arg.size();
        while (i < n) {
            char c = arg[i];
            bool introducer = c == '-' || (c == '/' && i == 0 && n == 2);
            if (introducer && i + 1 < n && (arg[i + 1] == 't' || arg[i + 1] == 'm')) {
                line.quit = line.quit || arg[i + 1] == 't';
                i += 2;
                continue;
            }
            if (introducer) {
                ++i;
                continue;
            }
            AddName(line, names, arg.substr(i));
            break;
        }
    }
    return line;
}
