// The animated GIF, with giflib for the format and the LZW coding.
//
// giflib writes one image stream at a time through one GifFileType, and has
// no call that puts already coded image data into a stream. So every frame
// is coded as a GIF of its own in memory (a GifFileType per frame with an
// output function appending to a buffer), and the file is stitched from the
// parts between those GIFs' screen descriptors and trailers: the only bytes
// not laid down by giflib are that splice.
#include "tools/gif_encoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "animation/julia_renderer.h"

namespace quenlixor {
namespace {

constexpr int colour_table_size = 32;  // 22 entries rounded up to a power of two
constexpr int palette_colours = 21;    // entries 0-20

GifColorType colour_table[colour_table_size];
// The palette word of every index; no word at all (a green byte that does
// not match index_of_green) for the rest.
std::uint32_t word_of_index[256];
// Index of the palette entry with a given green byte; the entries' green
// bytes all differ. 0xFF where none has it.
std::uint8_t index_of_green[256];

int append_bytes(GifFileType* gif, const GifByteType* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(gif->UserData);
    bytes->insert(bytes->end(), data, data + size);
    return size;
}

// A GIF in memory, its screen descriptor and colour table written. Null
// when giflib cannot start one.
GifFileType* start_gif(std::vector<unsigned char>& bytes) {
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, append_bytes, &error);
    if (gif == nullptr) {
        return nullptr;
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(colour_table_size, colour_table);
    const bool started = map != nullptr &&
                         EGifPutScreenDesc(gif, picture_width, picture_height, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    if (!started) {
        EGifCloseFile(gif, &error);
        return nullptr;
    }
    return gif;
}

struct Rectangle {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The smallest rectangle holding every pixel that differs from the frame
// before; 1 by 1 at the corner when none does.
// The first and one past the last column where two rows differ, eight
// pixels at a time; first == picture_width when they are the same.
void differing_columns(const std::uint32_t* now, const std::uint32_t* before, int& first,
                       int& end) {
    constexpr int step = 8;
    constexpr std::size_t step_bytes = step * sizeof(std::uint32_t);
    static_assert(picture_width % step == 0);
    first = 0;
    while (first < picture_width && std::memcmp(now + first, before + first, step_bytes) == 0) {
        first += step;
    }
    if (first == picture_width) {
        return;
    }
    end = picture_width;
    while (std::memcmp(now + end - step, before + end - step, step_bytes) == 0) {
        end -= step;
    }
    while (now[first] == before[first]) {
        ++first;
    }
    while (now[end - 1] == before[end - 1]) {
        --end;
    }
}

// The smallest rectangle holding every pixel that differs from the frame
// before; 1 by 1 at the corner when none does.
Rectangle changed_rectangle(const std::uint32_t* pixels, const std::uint32_t* previous) {
    int top = picture_height;
    int bottom = -1;
    int left = picture_width;
    int right = 0;
    for (int row = 0; row < picture_height; ++row) {
        int first = 0;
        int end = 0;
        differing_columns(pixels + row * picture_width, previous + row * picture_width, first, end);
        if (first == picture_width) {
            continue;
        }
        top = std::min(top, row);
        bottom = row;
        left = std::min(left, first);
        right = std::max(right, end);
    }
    if (bottom < 0) {
        return {0, 0, 1, 1};
    }
    return {left, top, right - left, bottom - top + 1};
}

// The colour-table index of a pixel; `known` becomes false for a colour
// outside the palette.
std::uint8_t index_of(std::uint32_t word, bool& known) {
    // A palette word: its green byte names it.
    const std::uint8_t index = index_of_green[(word >> 8) & 0xFF];
    if (word_of_index[index] == word) {
        return index;
    }
    // Otherwise look the colour up, bits 24-31 aside.
    for (int entry = 0; entry < palette_colours; ++entry) {
        if (((word_of_index[entry] ^ word) & 0x00FFFFFFU) == 0) {
            return static_cast<std::uint8_t>(entry);
        }
    }
    known = false;
    return 0;
}

// Unchanged pixels become transparent in runs of at least this length;
// shorter runs keep their colours, which breaks the changed pixels' strings
// less. Measured over frames 1-3600: 1 (every unchanged pixel transparent)
// gives 10.26 MB, 2 10.16, 3 10.11, 4 10.09, 6 10.09, 8 10.13, 16 10.30.
constexpr int shortest_transparent_run = 4;

// One row of the changed rectangle as colour-table indices.
void fill_row(const std::uint32_t* now, const std::uint32_t* before, int width, std::uint8_t* out,
              bool& known) {
    int column = 0;
    while (column < width) {
        if (now[column] != before[column]) {
            out[column] = index_of(now[column], known);
            ++column;
            continue;
        }
        int end = column;
        while (end < width && now[end] == before[end]) {
            ++end;
        }
        if (end - column >= shortest_transparent_run) {
            std::fill(out + column, out + end, gif_transparent_index);
        } else {
            for (; column < end; ++column) {
                out[column] = index_of(now[column], known);
            }
        }
        column = end;
    }
}

}  // namespace

void prepare_gif_colours() {
    std::fill(std::begin(index_of_green), std::end(index_of_green), std::uint8_t{0xFF});
    std::fill(std::begin(word_of_index), std::end(word_of_index), 0xFFFF00FFU);
    for (int entry = 0; entry < colour_table_size; ++entry) {
        colour_table[entry] = GifColorType{0, 0, 0};
    }
    for (int entry = 0; entry < palette_colours; ++entry) {
        const std::uint32_t word = palette[entry];
        word_of_index[entry] = word;
        colour_table[entry] =
            GifColorType{static_cast<GifByteType>(word >> 16), static_cast<GifByteType>(word >> 8),
                         static_cast<GifByteType>(word)};
        index_of_green[(word >> 8) & 0xFF] = static_cast<std::uint8_t>(entry);
    }
}

bool gif_head(std::vector<unsigned char>& bytes) {
    bytes.clear();
    GifFileType* gif = start_gif(bytes);
    if (gif == nullptr) {
        return false;
    }
    // The NETSCAPE2.0 application extension: loop count 0, for ever.
    static const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A',
                                              'P', 'E', '2', '.', '0'};
    static const GifByteType loop_for_ever[] = {1, 0, 0};
    const bool written =
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
        EGifPutExtensionBlock(gif, sizeof application, application) == GIF_OK &&
        EGifPutExtensionBlock(gif, sizeof loop_for_ever, loop_for_ever) == GIF_OK &&
        EGifPutExtensionTrailer(gif) == GIF_OK;
    int error = 0;
    const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
    if (!written || !closed || bytes.empty() || bytes.back() != gif_trailer) {
        return false;
    }
    bytes.pop_back();
    return true;
}

bool gif_frame(const std::uint32_t* pixels, const std::uint32_t* previous, int delay_centiseconds,
               std::vector<std::uint8_t>& work, std::vector<unsigned char>& bytes) {
    const Rectangle area = previous == nullptr ? Rectangle{0, 0, picture_width, picture_height}
                                               : changed_rectangle(pixels, previous);
    work.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
    std::uint8_t* out = work.data();
    bool known = true;
    for (int row = area.top; row < area.top + area.height; ++row) {
        const std::uint32_t* now = pixels + row * picture_width + area.left;
        if (previous == nullptr) {
            for (int column = 0; column < area.width; ++column) {
                *out++ = index_of(now[column], known);
            }
            continue;
        }
        const std::uint32_t* before = previous + row * picture_width + area.left;
        fill_row(now, before, area.width, out, known);
        out += area.width;
    }
    if (!known) {
        return false;
    }

    bytes.clear();
    GifFileType* gif = start_gif(bytes);
    if (gif == nullptr) {
        return false;
    }
    const std::size_t start = bytes.size();
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = delay_centiseconds;
    control.TransparentColor = previous == nullptr ? NO_TRANSPARENT_COLOR : gif_transparent_index;
    GifByteType control_bytes[4];
    const int control_size = static_cast<int>(EGifGCBToExtension(&control, control_bytes));
    const bool written =
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, control_size, control_bytes) == GIF_OK &&
        EGifPutImageDesc(gif, area.left, area.top, area.width, area.height, false, nullptr) ==
            GIF_OK &&
        EGifPutLine(gif, work.data(), static_cast<int>(work.size())) == GIF_OK;
    int error = 0;
    const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
    if (!written || !closed || bytes.size() <= start || bytes.back() != gif_trailer) {
        return false;
    }
    bytes.pop_back();
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
    return true;
}

bool gif_available() {
    return true;
}

}  // namespace quenlixor
