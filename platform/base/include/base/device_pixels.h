// Logical pixels and device pixels. A window is laid out in logical pixels (the
// program's 800 x 400 window, every GDI coordinate); a display shows it at a scale, in
// device pixels: scale device pixels per logical one, 1 on a 96 dpi desktop, 2 at 200 %,
// 1.25 at 125 %. The window manager, gdi32 and every video backend map between the two
// with these functions, so that all of them agree on which device pixels a logical
// rectangle covers.
#pragma once

#include <algorithm>
#include <cmath>

namespace platform::base {

// Products such as 800 * 1.1 come out a hair above the whole number they stand for;
// such a hair must not add a device pixel.
inline constexpr double ScaleTolerance = 1e-6;

// The smallest scale the window system draws at. A display with a smaller one gets
// scale-1 pixels and does the reduction itself: below 1, a logical size could not be
// recovered from a device one.
inline constexpr double MinimumScale = 1.0;
inline constexpr double MaximumScale = 8.0;

inline double ClampScale(double scale) {
    if (!(scale >= MinimumScale)) return MinimumScale;  // NaN too
    return std::min(scale, MaximumScale);
}

// A logical edge that starts something (left, top), in device pixels: down.
inline int DeviceStart(int logical, double scale) { return static_cast<int>(std::floor(logical * scale + ScaleTolerance)); }
// A logical edge that ends something (right, bottom, a size from 0), in device pixels:
// up, so that a rectangle's device pixels cover all of it.
inline int DeviceEnd(int logical, double scale) { return static_cast<int>(std::ceil(logical * scale - ScaleTolerance)); }

// The logical pixels that a run of device pixels touches: outward.
inline int LogicalStart(int device, double scale) { return static_cast<int>(std::floor(device / scale + ScaleTolerance)); }
inline int LogicalEnd(int device, double scale) { return static_cast<int>(std::ceil(device / scale - ScaleTolerance)); }

// The logical size whose device size is device (DeviceEnd's inverse, for scales of at
// least 1), and the logical pixel under a device one.
inline int LogicalSize(int device, double scale) { return LogicalStart(device, scale); }
inline int LogicalPoint(int device, double scale) { return static_cast<int>(std::floor((device + 0.5) / scale)); }

}  // namespace platform::base
