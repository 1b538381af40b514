// The picture preview of the open dialog: a small copy of a picture file and its size.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "DisplayColour.h"
#include "WorkingBitmap.h"

namespace zelqor {

struct PreviewThumbnail {
    WorkingBitmap picture;  // fitted into the box asked for, never enlarged
    int width = 0;          // the picture's own size in pixels
    int height = 0;
    std::vector<std::uint8_t> profile;  // the file's ICC profile, whole; empty when untagged
};

// Reads `path` as the open dialog's loader would (by its extension), upright as a load turns it.
// A JPEG shows the camera's Exif thumbnail when that is large enough, read from the file's head
// alone; otherwise it is decoded from the file a piece at a time at the smallest reduced scale
// (1/8, 1/4, 1/2) that still covers the box, then shrunk by area to fit it. Nothing for a file
// that cannot be read or decoded: the preview then stays empty. With `colour` the copy is
// converted from the file's profile for the screen, as the window shows the picture once loaded;
// without it, safe on any thread (ShowForScreen converts later, on the colour's own thread).
std::optional<PreviewThumbnail> MakePreviewThumbnail(const std::string& path,
                                                     int boxWidth,
                                                     int boxHeight,
                                                     DisplayColour* colour = nullptr);
// Converts a thumbnail made without a colour for the screen, as MakePreviewThumbnail with
// `colour` would have.
void ShowForScreen(PreviewThumbnail& thumb, DisplayColour& colour);

}  // namespace zelqor
