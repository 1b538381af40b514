// Where the program's windows appear: the main window and its dialogs centred on a screen.
#pragma once

class QWidget;

// Moves `window` (frame included, as far as it is known) to the centre of the available area of
// the screen its owner is on, or of its own screen when it has no owner. Call it from the
// window's show event: the move then takes effect before the window is mapped.
void CentreOnScreen(QWidget& window);
