// The display: one window on the desktop that shows 32-bit 0x00RRGGBB frames.
//
// display_open opens it (1 on success, 0 on failure), display_update shows one
// frame of width x height pixels, rows adjacent (1 when presented, 0 when the
// surface could not be locked), display_close undoes the opening. One display
// per process; all three run on the program's one thread.
#pragma once

#include <cstdint>

namespace quenlixor {

std::int32_t display_open(const char* title, std::int32_t width, std::int32_t height);
void display_close();
std::int32_t display_update(const std::uint32_t* pixels);

}  // namespace quenlixor
