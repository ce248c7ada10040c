#include "tools/raw_frame.h"

#include "display/pixel_converters.h"
#include "display/present_rows.h"

namespace quenlixor {

// The rows as the window shows them, through the same routine, into a
// surface of the format's bytes.
void raw_frame(const std::uint32_t* pixels, int scale, unsigned char* bytes) {
    present_rows(pixels, picture_width, picture_height, scale, convert_to_xrgb8888, 4, bytes,
                 picture_width * scale * 4);
}

}  // namespace quenlixor
