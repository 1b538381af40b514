// JPEG files written by libjpeg's own encoder for the benchmarks, in the layouts the product's
// encoder never writes.
#pragma once

#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <filesystem>

#include "WorkingBitmap.h"

namespace zelqor::bench {

// Luma sampled lumaH x lumaV times the chroma, a restart marker every `restartMcus` block groups
// (as many cameras write them; 0 for none), and optionally libjpeg's progressive script.
inline void WriteLibjpegFile(const WorkingBitmap& picture,
                             const std::filesystem::path& path,
                             int quality,
                             int lumaH,
                             int lumaV,
                             bool progressive,
                             unsigned restartMcus = 0) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(picture.Width());
    cinfo.image_height = static_cast<JDIMENSION>(picture.Height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int i = 0; i < cinfo.num_components; ++i) {
        cinfo.comp_info[i].h_samp_factor = i == 0 ? lumaH : 1;
        cinfo.comp_info[i].v_samp_factor = i == 0 ? lumaV : 1;
    }
    cinfo.restart_interval = restartMcus;
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row[1] = {
            const_cast<JSAMPLE*>(picture.Row(static_cast<int>(cinfo.next_scanline)))};
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

}  // namespace zelqor::bench
