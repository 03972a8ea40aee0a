// Plain text, and text with its own alpha for layered windows.
#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIRenderSystem.h"

namespace SkinUI {

namespace {

constexpr UINT kAlignmentFlags = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;

}  // namespace

void CSkinRender::DrawPlainText(HDC dc, IRenderHostUI* host, const RECT& rect, const wchar_t* text,
                                DWORD color, int font, UINT style) {
    if (!dc || !host || !text) return;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ArgbToColorRef(color));
    SelectGuard selected(dc, host->FontByIndex(font));
    if (host->IsLayered()) {
        DrawTextAlpha(dc, rect, text, color, style);
    } else {
        RECT box = rect;
        ::DrawTextW(dc, text, -1, &box, style | DT_NOPREFIX);
    }
}

// GDI text leaves the alpha byte of a 32-bit surface at 0, which a layered
// window shows as transparent. So the text is rendered white on black, the
// rendered brightness becomes its coverage, and the coloured, premultiplied
// result is blended.
void CSkinRender::DrawTextAlpha(HDC dc, const RECT& rect, const wchar_t* text, DWORD color,
                                UINT style) {
    if (!dc || !text || !*text) return;
    UINT layout = (style & ~kAlignmentFlags) | DT_NOPREFIX;
    HGDIOBJ font = ::GetCurrentObject(dc, OBJ_FONT);
    RECT measured = {0, 0, RectWidth(rect), RectHeight(rect)};
    ::DrawTextW(dc, text, -1, &measured, layout | DT_CALCRECT);
    int w = RectWidth(measured), h = RectHeight(measured);
    // An ellipsis keeps the text inside the rectangle's width.
    if ((style & DT_END_ELLIPSIS) && w > RectWidth(rect)) w = RectWidth(rect);
    if (w <= 0 || h <= 0) return;

    DibSection coverage(dc, w, h);
    if (!coverage.valid()) return;
    MemoryCanvas canvas(dc, coverage.bitmap());
    if (!canvas.valid()) return;
    SelectGuard selected(canvas.dc(), font);
    ::SetBkMode(canvas.dc(), OPAQUE);
    ::SetBkColor(canvas.dc(), RGB(0, 0, 0));
    ::SetTextColor(canvas.dc(), RGB(255, 255, 255));
    RECT box = {0, 0, w, h};
    ::DrawTextW(canvas.dc(), text, -1, &box, layout);
    ::GdiFlush();

    const DWORD r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
    size_t count = static_cast<size_t>(w) * h;
    DWORD* pixels = coverage.pixels();
    for (size_t i = 0; i < count; ++i) {
        DWORD cover = pixels[i] & 0xFF;
        pixels[i] = (cover << 24) | ((r * cover / 256) << 16) | ((g * cover / 256) << 8) | (b * cover / 256);
    }

    int x = rect.left, y = rect.top;
    if (style & DT_CENTER) {
        x = rect.left + (RectWidth(rect) - w) / 2;
    } else if (style & DT_RIGHT) {
        x = rect.right - w;
    }
    if (style & DT_VCENTER) {
        y = rect.top + (RectHeight(rect) - h) / 2;
    } else if (style & DT_BOTTOM) {
        y = rect.bottom - h;
    }
    BlendRect(dc, x, y, w, h, canvas.dc(), 0, 0, w, h, 255, true);
}

}  // namespace SkinUI
