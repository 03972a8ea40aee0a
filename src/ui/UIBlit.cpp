// Bitmap drawing: nine-part and centre-preserving blits, and the blend of one
// rectangle with the system AlphaBlend or its software stand-in.
#include <algorithm>

#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIRenderSystem.h"

namespace SkinUI {

namespace {

// msimg32 from the system folder only, never from beside the executable.
HMODULE Msimg32() {
    static HMODULE module = [] {
        wchar_t path[MAX_PATH + 16] = {};
        UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return static_cast<HMODULE>(nullptr);
        wcscat(path, L"\\msimg32.dll");
        return ::LoadLibraryW(path);
    }();
    return module;
}

// The memory DC that source bitmaps are selected into while they are drawn:
// one per thread, because creating a DC for every blit costs more than a
// small blit itself. Blits do not nest, so one is enough.
HDC SourceDc() {
    thread_local UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    return dc.get();
}

// Software source-over: result = source * k + dest * (1 - alpha * k), with k
// the constant alpha and alpha the source's own (255 without per-pixel
// alpha). The source is premultiplied, so its colour is not multiplied by
// its alpha again.
bool SoftBlend(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh,
               BYTE constantAlpha, bool perPixel) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return false;
    DibSection sourceCopy(dest, w, h);
    DibSection destCopy(dest, w, h);
    if (!sourceCopy.valid() || !destCopy.valid()) return false;
    MemoryCanvas sourceCanvas(dest, sourceCopy.bitmap());
    MemoryCanvas destCanvas(dest, destCopy.bitmap());
    if (!sourceCanvas.valid() || !destCanvas.valid()) return false;
    // COLORONCOLOR keeps the alpha bytes while stretching.
    ::SetStretchBltMode(sourceCanvas.dc(), COLORONCOLOR);
    ::StretchBlt(sourceCanvas.dc(), 0, 0, w, h, source, sx, sy, sw, sh, SRCCOPY);
    ::BitBlt(destCanvas.dc(), 0, 0, w, h, dest, x, y, SRCCOPY);
    ::GdiFlush();
    const DWORD k = constantAlpha;
    size_t count = static_cast<size_t>(w) * h;
    DWORD* s = sourceCopy.pixels();
    DWORD* d = destCopy.pixels();
    for (size_t i = 0; i < count; ++i) {
        DWORD sp = s[i], dp = d[i];
        DWORD sa = perPixel ? sp >> 24 : 255;
        DWORD keep = 255 * 255 - sa * k;  // dest weight, scaled by 255^2
        DWORD out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            DWORD sc = shift == 24 ? sa : (sp >> shift) & 0xFF;
            DWORD dc = (dp >> shift) & 0xFF;
            DWORD value = (sc * k * 255 + dc * keep + 255 * 255 / 2) / (255 * 255);
            out |= std::min<DWORD>(value, 255) << shift;
        }
        d[i] = out;
    }
    ::BitBlt(dest, x, y, w, h, destCanvas.dc(), 0, 0, SRCCOPY);
    return true;
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info = {};
    if (!::GetObjectW(bitmap, sizeof(info), &info)) return {0, 0};
    return {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

// Blit or blend of one piece of the nine-part grid. Skipped when it has no
// area, misses the paint rectangle, or would read outside the image (which
// AlphaBlend refuses and StretchBlt would fill with whatever it finds).
struct PieceDrawer {
    HDC dc;
    HDC source;
    SIZE image;
    const RECT& paint;
    bool blend;
    BYTE fade;

    bool InsideImage(const RECT& s) const {
        return s.left >= 0 && s.top >= 0 && s.right <= image.cx && s.bottom <= image.cy;
    }

    void Draw(const RECT& d, const RECT& s, bool unscaled = false) const {
        RECT visible;
        if (IsEmptyRect(d) || IsEmptyRect(s) || !InsideImage(s) ||
            !::IntersectRect(&visible, &d, &paint)) {
            return;
        }
        if (blend) {
            BlendRect(dc, d.left, d.top, RectWidth(d), RectHeight(d), source, s.left, s.top,
                      RectWidth(s), RectHeight(s), fade, true);
        } else if (unscaled) {
            ::BitBlt(dc, d.left, d.top, RectWidth(d), RectHeight(d), source, s.left, s.top, SRCCOPY);
        } else {
            ::StretchBlt(dc, d.left, d.top, RectWidth(d), RectHeight(d), source, s.left, s.top,
                         RectWidth(s), RectHeight(s), SRCCOPY);
        }
    }
};

// The start of the first tile (tiles start at `origin`, `step` apart) that can
// reach `visibleStart`, so tiles left of or above the paint rectangle are
// skipped without visiting them.
LONG FirstVisibleTile(LONG origin, LONG step, LONG visibleStart) {
    if (visibleStart <= origin) return origin;
    return origin + (visibleStart - origin) / step * step;
}

void DrawTiledMiddle(const PieceDrawer& piece, const RECT& dm, const RECT& sm, bool xtiled,
                     bool ytiled) {
    const LONG tileWidth = RectWidth(sm), tileHeight = RectHeight(sm);
    if (tileWidth <= 0 || tileHeight <= 0) return;
    const RECT& paint = piece.paint;
    if (xtiled && ytiled) {
        LONG bottom = std::min(dm.bottom, paint.bottom), right = std::min(dm.right, paint.right);
        for (LONG y = FirstVisibleTile(dm.top, tileHeight, paint.top); y < bottom; y += tileHeight) {
            LONG h = std::min(tileHeight, dm.bottom - y);
            for (LONG x = FirstVisibleTile(dm.left, tileWidth, paint.left); x < right; x += tileWidth) {
                LONG w = std::min(tileWidth, dm.right - x);
                piece.Draw({x, y, x + w, y + h}, {sm.left, sm.top, sm.left + w, sm.top + h}, true);
            }
        }
    } else if (xtiled) {
        LONG right = std::min(dm.right, paint.right);
        for (LONG x = FirstVisibleTile(dm.left, tileWidth, paint.left); x < right; x += tileWidth) {
            LONG w = std::min(tileWidth, dm.right - x);
            piece.Draw({x, dm.top, x + w, dm.bottom}, {sm.left, sm.top, sm.left + w, sm.bottom});
        }
    } else {
        LONG bottom = std::min(dm.bottom, paint.bottom);
        for (LONG y = FirstVisibleTile(dm.top, tileHeight, paint.top); y < bottom; y += tileHeight) {
            LONG h = std::min(tileHeight, dm.bottom - y);
            piece.Draw({dm.left, y, dm.right, y + h}, {sm.left, sm.top, sm.right, sm.top + h});
        }
    }
}

// GetProcAddress returns a generic function pointer; going through void*
// states that the cast to the real signature is intended.
template <typename Fn>
Fn Msimg32Export(const char* name) {
    HMODULE module = Msimg32();
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

}  // namespace

AlphaBlendFn SystemAlphaBlend() {
    static AlphaBlendFn fn = Msimg32Export<AlphaBlendFn>("AlphaBlend");
    return fn;
}

GradientFillFn SystemGradientFill() {
    static GradientFillFn fn = Msimg32Export<GradientFillFn>("GradientFill");
    return fn;
}

bool BlendRect(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw, int sh,
               BYTE fade, bool perPixel) {
    if (AlphaBlendFn alphaBlend = SystemAlphaBlend()) {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, fade, static_cast<BYTE>(perPixel ? AC_SRC_ALPHA : 0)};
        return alphaBlend(dest, x, y, w, h, source, sx, sy, sw, sh, blend) != FALSE;
    }
    return SoftBlend(dest, x, y, w, h, source, sx, sy, sw, sh, fade, perPixel);
}

bool CSkinRender::SoftAlphaBlend(HDC dest, int x, int y, int width, int height, HDC source,
                                 int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                                 BYTE constantAlpha) {
    return SoftBlend(dest, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight,
                     constantAlpha, true);
}

void CSkinRender::BlitImage(HDC dc, HBITMAP bitmap, const RECT& dest, const RECT& paint,
                            bool hasAlpha, BYTE fade, bool hole, bool xtiled, bool ytiled,
                            const RECT& corner, const RECT& source) {
    HDC sourceDc = SourceDc();
    if (!dc || !bitmap || !sourceDc) return;
    SelectGuard selected(sourceDc, bitmap);
    int oldMode = ::SetStretchBltMode(dc, HALFTONE);
    bool blend = hasAlpha || fade < 255;
    const LONG cl = corner.left, ct = corner.top, cr = corner.right, cb = corner.bottom;
    PieceDrawer piece{dc, sourceDc, BitmapSize(bitmap), paint, blend, fade};

    bool noCorners = cl == 0 && ct == 0 && cr == 0 && cb == 0;
    if (!blend && !hole && noCorners && RectWidth(dest) == RectWidth(source) &&
        RectHeight(dest) == RectHeight(source)) {
        RECT visible;
        if (piece.InsideImage(source) && ::IntersectRect(&visible, &dest, &paint)) {
            ::BitBlt(dc, visible.left, visible.top, RectWidth(visible), RectHeight(visible),
                     piece.source, source.left + visible.left - dest.left,
                     source.top + visible.top - dest.top, SRCCOPY);
        }
        ::SetStretchBltMode(dc, oldMode);
        return;
    }

    RECT dm = {dest.left + cl, dest.top + ct, dest.right - cr, dest.bottom - cb};
    RECT sm = {source.left + cl, source.top + ct, source.right - cr, source.bottom - cb};
    RECT visibleMiddle;
    if (!hole && ::IntersectRect(&visibleMiddle, &dm, &paint)) {
        if (xtiled || ytiled) {
            DrawTiledMiddle(piece, dm, sm, xtiled, ytiled);
        } else {
            piece.Draw(dm, sm);
        }
    }
    // Corners 1:1, top and bottom edges stretched horizontally, left and
    // right edges vertically.
    const RECT& d = dest;
    const RECT& s = source;
    if (cl > 0 && ct > 0) {
        piece.Draw({d.left, d.top, d.left + cl, d.top + ct}, {s.left, s.top, s.left + cl, s.top + ct});
    }
    if (ct > 0) {
        piece.Draw({d.left + cl, d.top, d.right - cr, d.top + ct},
                   {s.left + cl, s.top, s.right - cr, s.top + ct});
    }
    if (cr > 0 && ct > 0) {
        piece.Draw({d.right - cr, d.top, d.right, d.top + ct}, {s.right - cr, s.top, s.right, s.top + ct});
    }
    if (cl > 0) {
        piece.Draw({d.left, d.top + ct, d.left + cl, d.bottom - cb},
                   {s.left, s.top + ct, s.left + cl, s.bottom - cb});
    }
    if (cr > 0) {
        piece.Draw({d.right - cr, d.top + ct, d.right, d.bottom - cb},
                   {s.right - cr, s.top + ct, s.right, s.bottom - cb});
    }
    if (cl > 0 && cb > 0) {
        piece.Draw({d.left, d.bottom - cb, d.left + cl, d.bottom},
                   {s.left, s.bottom - cb, s.left + cl, s.bottom});
    }
    if (cb > 0) {
        piece.Draw({d.left + cl, d.bottom - cb, d.right - cr, d.bottom},
                   {s.left + cl, s.bottom - cb, s.right - cr, s.bottom});
    }
    if (cr > 0 && cb > 0) {
        piece.Draw({d.right - cr, d.bottom - cb, d.right, d.bottom},
                   {s.right - cr, s.bottom - cb, s.right, s.bottom});
    }
    ::SetStretchBltMode(dc, oldMode);
}

namespace {

// One axis of the centre-preserving layout: where the centre lands in the
// destination and which part of it is shown.
struct CenterSpan {
    int destStart, destEnd;      // the centre piece in the destination
    int sourceStart, sourceEnd;  // the part of the centre area it shows
};

CenterSpan PlaceCenter(int destStart, int destEnd, int centerStart, int centerEnd, int marginBefore,
                       int marginAfter, bool alignStart) {
    int destLength = destEnd - destStart, centerLength = centerEnd - centerStart;
    if (centerLength < destLength) {
        double share = static_cast<double>(marginBefore) / (marginBefore + marginAfter);
        int at = destStart + static_cast<int>((destLength - centerLength) * share);
        return {at, at + centerLength, centerStart, centerEnd};
    }
    int from = alignStart ? centerStart : centerStart + (centerLength - destLength) / 2;
    return {destStart, destEnd, from, from + destLength};
}

}  // namespace

void CSkinRender::BlitImageAroundCenter(HDC dc, HBITMAP bitmap, const RECT& dest, const RECT& paint,
                                        const RECT& source, const RECT& centerRect, bool alignTop,
                                        bool alignLeft, BYTE fade) {
    const RECT& c = centerRect;
    int ml = c.left - source.left, mt = c.top - source.top;
    int mr = source.right - c.right, mb = source.bottom - c.bottom;
    if (ml < 0 || mt < 0 || mr < 0 || mb < 0 || (ml == 0 && mr == 0) || (mt == 0 && mb == 0)) return;
    HDC sourceDc = SourceDc();
    if (!dc || !bitmap || !sourceDc) return;
    SelectGuard selected(sourceDc, bitmap);
    PieceDrawer piece{dc, sourceDc, BitmapSize(bitmap), paint, true, fade};

    CenterSpan h = PlaceCenter(dest.left, dest.right, c.left, c.right, ml, mr, alignLeft);
    CenterSpan v = PlaceCenter(dest.top, dest.bottom, c.top, c.bottom, mt, mb, alignTop);
    piece.Draw({h.destStart, v.destStart, h.destEnd, v.destEnd},
               {h.sourceStart, v.sourceStart, h.sourceEnd, v.sourceEnd});

    // Room left and right of (and above and below) the centre, filled 1:1
    // from the image next to the centre area as far as its margins reach.
    int left = std::min<int>(h.destStart - dest.left, ml);
    int right = std::min<int>(dest.right - h.destEnd, mr);
    int top = std::min<int>(v.destStart - dest.top, mt);
    int bottom = std::min<int>(dest.bottom - v.destEnd, mb);
    if (left > 0) {
        piece.Draw({h.destStart - left, v.destStart, h.destStart, v.destEnd},
                   {c.left - left, v.sourceStart, c.left, v.sourceEnd});
    }
    if (right > 0) {
        piece.Draw({h.destEnd, v.destStart, h.destEnd + right, v.destEnd},
                   {c.right, v.sourceStart, c.right + right, v.sourceEnd});
    }
    if (top > 0) {
        piece.Draw({h.destStart, v.destStart - top, h.destEnd, v.destStart},
                   {h.sourceStart, c.top - top, h.sourceEnd, c.top});
    }
    if (bottom > 0) {
        piece.Draw({h.destStart, v.destEnd, h.destEnd, v.destEnd + bottom},
                   {h.sourceStart, c.bottom, h.sourceEnd, c.bottom + bottom});
    }
    if (left > 0 && top > 0) {
        piece.Draw({h.destStart - left, v.destStart - top, h.destStart, v.destStart},
                   {c.left - left, c.top - top, c.left, c.top});
    }
    if (right > 0 && top > 0) {
        piece.Draw({h.destEnd, v.destStart - top, h.destEnd + right, v.destStart},
                   {c.right, c.top - top, c.right + right, c.top});
    }
    if (left > 0 && bottom > 0) {
        piece.Draw({h.destStart - left, v.destEnd, h.destStart, v.destEnd + bottom},
                   {c.left - left, c.bottom, c.left, c.bottom + bottom});
    }
    if (right > 0 && bottom > 0) {
        piece.Draw({h.destEnd, v.destEnd, h.destEnd + right, v.destEnd + bottom},
                   {c.right, c.bottom, c.right + right, c.bottom + bottom});
    }
}

}  // namespace SkinUI
