// PNG pictures of frames: our own chunks (signature, IHDR, IDAT, IEND)
// over zlib's deflate, the same bytes on every platform that has zlib. The
// WebAssembly build has none (Debian's emscripten ships no zlib, and its
// port is downloaded at build time) and links png_unavailable.cpp instead,
// whose png_available() is false.
#pragma once

#include <cstdint>
#include <vector>

namespace quenlixor {

// Whether this build can write PNG pictures.
bool png_available();

// An 8-bit RGB PNG of `width` x `height` pixels from `rgb`, rows of R, G, B
// bytes, top row first, adjacent. False when zlib fails (out of memory) or
// is missing.
bool encode_png_rgb(const unsigned char* rgb, std::uint32_t width, std::uint32_t height,
                    std::vector<unsigned char>& bytes);

// julia-frames' picture: an 8-bit RGB PNG of a picture_width x picture_height frame as a 32-bit
// desktop shows it (bits 24-31 dropped), every pixel an N x N block at
// `scale` (1-8). False as encode_png_rgb.
bool encode_png(const std::uint32_t* pixels, int scale, std::vector<unsigned char>& bytes);

}  // namespace quenlixor
