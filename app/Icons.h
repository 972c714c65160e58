#pragma once

#include <QIcon>

// The program's icon: a wireframe cube.
QIcon AppIcon();
// The toolbar image for a command identifier; painted, not loaded.
QIcon ToolIcon(int command);
