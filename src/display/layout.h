// Where the panel and the value row sit in the client area, in pixels. From the top:
// a caption, the identifier in a rounded frame, a second caption, then the row of four
// boxes; everything spans the client width less a margin on each side.
#pragma once

// The captions and the identifier text start this far inside the client's left,
// top and right edges.
inline constexpr int PanelMargin = 10;
// One caption line, its text centred vertically.
inline constexpr int CaptionHeight = 20;

// The identifier's frame starts this far below the first caption and is this tall;
// the identifier text sits FramePadding inside it on every side.
inline constexpr int FrameGap = 1;
inline constexpr int FrameHeight = 58;
inline constexpr int FramePadding = 4;
// Width and height of the ellipse that rounds the corners of the frame and the boxes.
inline constexpr int CornerDiameter = 7;

// The second caption starts this far below the identifier text.
inline constexpr int SecondCaptionGap = 15;
// The value row starts this far below the second caption and is this tall.
inline constexpr int ValueRowGap = 5;
inline constexpr int ValueRowHeight = 30;

// The boxes of the value row from left to right, BoxGap apart.
inline constexpr int VolumeBoxWidth = 300;
inline constexpr int MuteBoxWidth = 150;
inline constexpr int StateBoxWidth = 150;
inline constexpr int ProcessIdBoxWidth = 100;
inline constexpr int BoxGap = 10;
