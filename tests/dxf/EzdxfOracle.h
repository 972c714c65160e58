#pragma once

// Running ezdxf_expect.py, the ezdxf oracle beside this file.

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace ezdxforacle {

inline std::filesystem::path Script()
{
    return std::filesystem::path(__FILE__).parent_path() / "ezdxf_expect.py";
}

// A Python that has ezdxf (Debian's python3-ezdxf, for the system's
// python3), or "" when there is none.
inline std::string PythonWithEzdxf()
{
    for (const char* python : {"python3", "/usr/bin/python3"})
        if (testfiles::RunCommand(std::string(python) + " -c 'import ezdxf'") == 0)
            return python;
    return "";
}

// The oracle's "key value..." lines, each key's numbers in order.
inline std::map<std::string, std::vector<double>> ParseLines(const std::string& text)
{
    std::map<std::string, std::vector<double>> out;
    std::istringstream lines(text);
    for (std::string line, key; std::getline(lines, line);) {
        std::istringstream words(line);
        words >> key;
        for (double v; words >> v;)
            out[key].push_back(v);
        out[key];
    }
    return out;
}

}  // namespace ezdxforacle
