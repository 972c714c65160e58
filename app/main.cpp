// trivex: the desktop program; shows a model as a wireframe and converts it.
#include <QApplication>

#include "App.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);  // takes the toolkit's own options out of argv
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunTrivex(app, args);
}
