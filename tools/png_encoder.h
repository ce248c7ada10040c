// PNG pictures of frames, through libpng. A build without libpng links
// png_unavailable.cpp instead, whose png_available() is false.
#pragma once

#include <cstdint>
#include <vector>

namespace quenlixor {

// Whether this build can write PNG pictures.
bool png_available();

// An 8-bit RGB PNG of a picture_width x picture_height frame as a 32-bit
// desktop shows it (bits 24-31 dropped), every pixel an N x N block at
// `scale` (1-8). False when libpng fails or is missing.
bool encode_png(const std::uint32_t* pixels, int scale, std::vector<unsigned char>& bytes);

}  // namespace quenlixor
