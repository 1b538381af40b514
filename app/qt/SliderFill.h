// The coloured part of a vertical track bar's groove, from the weak end to the handle.
#pragma once

class QSlider;

// The program's vertical bars have their minimum, the strongest setting, at the top (inverted
// appearance). The style fills the groove from the minimum to the handle, so a weak setting
// would look full; after this call the bar fills from its bottom (weak) end up to the handle.
// The handle, ticks, keys and mouse stay as they were. Horizontal bars are left alone.
void FillFromWeakEnd(QSlider& slider);
