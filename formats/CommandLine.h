#pragma once

#include <string>
#include <vector>

// What the desktop program's command line asks for: an input to open, an
// output to save, and whether to quit afterwards (option t).
struct CCommandLine
{
    std::string input;
    std::string output;
    bool quit = false;
};

// Scans the arguments left to right. "-t" or "/t" sets quit, "-m" or "/m" is
// accepted and ignored, a "-" before anything else is dropped and the rest read
// as a name. The first name is the input, the second the output, later ones
// are ignored; names keep at most 255 characters. Each argument is scanned on
// its own, so names may hold blanks, and an argument starting with "/" longer
// than two characters is a path, not an option.
CCommandLine ScanCommandLine(const std::vector<std::string>& args);
