// The program icon, for window frames, the task bar and the version information dialog.
#pragma once

#include <QIcon>

// Every committed size is added, so the window system never has to scale a large one down to a
// blur; needs a QGuiApplication, as any pixmap does.
QIcon ProgramIcon();
