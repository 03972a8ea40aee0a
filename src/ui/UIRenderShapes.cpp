// Solid and gradient fills, lines and frames, and the HSL colour shift.
#include <math.h>

#include <algorithm>

#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIRenderSystem.h"

namespace SkinUI {

namespace {

BYTE Alpha(DWORD argb) { return static_cast<BYTE>(argb >> 24); }

// A channel of `first` moved `index / last` of the way towards `second`.
BYTE Mix(DWORD first, DWORD second, int shift, int index, int last) {
    int a = (first >> shift) & 0xFF, b = (second >> shift) & 0xFF;
    return static_cast<BYTE>(last > 0 ? a + (b - a) * index / last : a);
}

void PaintGradient(HDC dc, const RECT& rect, DWORD first, DWORD second, int steps) {
    GradientFillFn gradientFill = SystemGradientFill();
    if (!gradientFill) {
        CSkinRender::FillGradientBands(dc, rect, first, second, steps);
        return;
    }
    auto vertex = [](LONG x, LONG y, DWORD c) {
        TRIVERTEX v = {};
        v.x = x;
        v.y = y;
        v.Red = static_cast<COLOR16>(((c >> 16) & 0xFF) << 8);
        v.Green = static_cast<COLOR16>(((c >> 8) & 0xFF) << 8);
        v.Blue = static_cast<COLOR16>((c & 0xFF) << 8);
        return v;
    };
    TRIVERTEX vertices[2] = {vertex(rect.left, rect.top, first), vertex(rect.right, rect.bottom, second)};
    GRADIENT_RECT mesh = {0, 1};
    gradientFill(dc, vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_V);
}

// A pen selected for the guard's life, then put back and deleted.
class PenScope {
public:
    PenScope(HDC dc, HPEN pen) : pen_(pen), select_(dc, pen) {}
    bool valid() const { return pen_.valid(); }

private:
    UniquePen pen_;
    SelectGuard select_;
};

}  // namespace

void CSkinRender::FillSolid(HDC dc, const RECT& rect, DWORD color) {
    if (!dc || Alpha(color) == 0) return;
    if (Alpha(color) == 0xFF) {
        COLORREF old = ::SetBkColor(dc, ArgbToColorRef(color));
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
        ::SetBkColor(dc, old);
        return;
    }
    DibSection pixel(dc, 1, 1);
    if (!pixel.valid()) return;
    pixel.pixels()[0] = color | 0xFF000000;
    RECT none = {}, whole = {0, 0, 1, 1};
    BlitImage(dc, pixel.bitmap(), rect, rect, true, Alpha(color), false, false, false, none, whole);
}

void CSkinRender::FillGradient(HDC dc, const RECT& rect, DWORD first, DWORD second, int steps) {
    if (!dc || IsEmptyRect(rect)) return;
    int alpha = (Alpha(first) + Alpha(second)) / 2;
    if (alpha == 0) return;
    if (alpha == 255) {
        PaintGradient(dc, rect, first, second, steps);
        return;
    }
    int w = RectWidth(rect), h = RectHeight(rect);
    DibSection buffer(dc, w, h);
    if (!buffer.valid()) return;
    MemoryCanvas canvas(dc, buffer.bitmap());
    if (!canvas.valid()) return;
    RECT local = {0, 0, w, h};
    PaintGradient(canvas.dc(), local, first, second, steps);
    BlendRect(dc, rect.left, rect.top, w, h, canvas.dc(), 0, 0, w, h, static_cast<BYTE>(alpha), false);
}

void CSkinRender::FillGradientBands(HDC dc, const RECT& rect, DWORD first, DWORD second, int steps) {
    if (!dc || IsEmptyRect(rect)) return;
    const int bands = steps < 16 ? 8 : 16;
    int height = RectHeight(rect);
    for (int i = 0; i < bands; ++i) {
        RECT band = rect;
        band.top = rect.top + height * i / bands;
        band.bottom = rect.top + height * (i + 1) / bands;
        if (band.bottom <= band.top) continue;
        COLORREF colour = RGB(Mix(first, second, 16, i, bands - 1), Mix(first, second, 8, i, bands - 1),
                              Mix(first, second, 0, i, bands - 1));
        UniqueBrush brush(::CreateSolidBrush(colour));
        if (!brush) return;
        ::FillRect(dc, &band, brush.get());
    }
}

void CSkinRender::StrokeLine(HDC dc, const RECT& rect, int width, DWORD color, int penStyle) {
    if (!dc) return;
    LOGPEN description = {static_cast<UINT>(penStyle), {width, 0}, ArgbToColorRef(color)};
    PenScope pen(dc, ::CreatePenIndirect(&description));
    if (!pen.valid()) return;
    ::MoveToEx(dc, rect.left, rect.top, nullptr);
    ::LineTo(dc, rect.right, rect.bottom);
}

void CSkinRender::StrokeRect(HDC dc, const RECT& rect, int width, DWORD color) {
    if (!dc) return;
    PenScope pen(dc, ::CreatePen(PS_INSIDEFRAME, width, ArgbToColorRef(color)));
    if (!pen.valid()) return;
    SelectGuard brush(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
}

void CSkinRender::StrokeRoundRect(HDC dc, const RECT& rect, int width, int ellipseWidth,
                                  int ellipseHeight, DWORD color) {
    if (!dc) return;
    PenScope pen(dc, ::CreatePen(PS_INSIDEFRAME, width, ArgbToColorRef(color)));
    if (!pen.valid()) return;
    SelectGuard brush(dc, ::GetStockObject(NULL_BRUSH));
    ::RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, ellipseWidth, ellipseHeight);
}

DWORD CSkinRender::ShiftColorHsl(DWORD color, short hue, short saturation, short lightness) {
    if (hue == 180 && saturation == 100 && lightness == 100) return color;
    double r = ((color >> 16) & 0xFF) / 255.0, g = ((color >> 8) & 0xFF) / 255.0, b = (color & 0xFF) / 255.0;
    double high = std::max({r, g, b}), low = std::min({r, g, b});
    double l = (high + low) / 2, h = 0, s = 0;
    if (high > low) {
        double d = high - low;
        s = l > 0.5 ? d / (2 - high - low) : d / (high + low);
        if (high == r) {
            h = (g - b) / d + (g < b ? 6 : 0);
        } else if (high == g) {
            h = (b - r) / d + 2;
        } else {
            h = (r - g) / d + 4;
        }
        h *= 60;
    }
    h = fmod(h + (hue - 180), 360.0);
    if (h < 0) h += 360;
    s = std::min(1.0, std::max(0.0, s * saturation / 100.0));
    l = std::min(1.0, std::max(0.0, l * lightness / 100.0));

    auto channel = [](double p, double q, double t) {
        if (t < 0) t += 1;
        if (t > 1) t -= 1;
        if (t < 1.0 / 6) return p + (q - p) * 6 * t;
        if (t < 0.5) return q;
        if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    double q = l < 0.5 ? l * (1 + s) : l + s - l * s, p = 2 * l - q, k = h / 360;
    double nr = s == 0 ? l : channel(p, q, k + 1.0 / 3);
    double ng = s == 0 ? l : channel(p, q, k);
    double nb = s == 0 ? l : channel(p, q, k - 1.0 / 3);
    auto byte = [](double v) { return static_cast<DWORD>(lround(std::min(1.0, std::max(0.0, v)) * 255)); };
    return (color & 0xFF000000) | (byte(nr) << 16) | (byte(ng) << 8) | byte(nb);
}

}  // namespace SkinUI
