// The msimg32 entry points the render engine uses, resolved at run time once
// per process (a system without them gets the software fallbacks), and the
// blend of one rectangle that picks between the two.
#pragma once

#include <windows.h>

namespace SkinUI {

using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

// Null when msimg32 or the export is missing.
AlphaBlendFn SystemAlphaBlend();
GradientFillFn SystemGradientFill();

// Source-over blend of `source` (memory DC) rectangle (sx, sy, sw, sh) into
// (x, y, w, h) of `dest`, with constant alpha `fade`; `perPixel` when the
// source carries premultiplied per-pixel alpha.
bool BlendRect(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh,
               BYTE fade, bool perPixel);

}  // namespace SkinUI
