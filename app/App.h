#pragma once

#include <string>
#include <vector>

class QApplication;

// Start-up: creates the document, the window and the view, then does what the
// command line asks (open an input, save an output, quit with -t). Returns
// the program's exit status once the window is closed.
int RunTrivex(QApplication& app, const std::vector<std::string>& args);
