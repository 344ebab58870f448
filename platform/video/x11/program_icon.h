// The program's icon for the X window (_NET_WM_ICON): the packaged 48 px PNG,
// compiled into the program so that an uninstalled build shows it too.
#pragma once

#include <span>
#include <vector>

namespace platform::video {

// The PNG file's bytes; generated from packaging/icons at build time.
std::span<const unsigned char> ProgramIconPng();

// _NET_WM_ICON's value: width, height, then one non-premultiplied ARGB pixel per
// element, row by row. Empty when the PNG cannot be read.
std::vector<long> NetWmIcon();

}  // namespace platform::video
