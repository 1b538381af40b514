// Where the program's windows appear: the main window where it was left (or centred), the
// dialogs centred on a screen, every one within the screens' available areas.
#pragma once

#include <string>

class QWidget;

// Moves `window` (frame included, as far as it is known) to the centre of the available area of
// the screen its owner is on, or of its own screen when it has no owner, shrinking a resizable
// one that would not fit. Call it from the window's show event: the move then takes effect
// before the window is mapped.
void CentreOnScreen(QWidget& window);

// Before the main window's first showing: its size, position and maximised state as the user
// settings file at `settingsPath` remembers them, fitted to the screens present; centred at its
// present (designed) size when the file has none. An empty path remembers nothing.
void RestoreWindowPlacement(QWidget& window, const std::string& settingsPath);

// Once the window is on screen and its frame known: moves it back within the screens if the
// frame pushed its title bar or bottom edge off them.
void KeepFrameOnScreens(QWidget& window);

// Writes the window's size, position (its normal ones while maximised) and maximised state.
void SaveWindowPlacement(const QWidget& window, const std::string& settingsPath);
