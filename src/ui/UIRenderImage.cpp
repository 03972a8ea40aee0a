// Image strings: parsing, and drawing the images they describe.
//
// An image string is either a plain image name or a list of key='value'
// pairs separated by blanks:
//   file='install_1.png' source='5,5,189,49' corner='3,3,3,3' fade='128'
// A malformed string is read as far as it is well formed. Several "file"
// keys draw several images, each with the attributes read before the next.
#include <stdlib.h>

#include <algorithm>

// WIN32_LEAN_AND_MEAN leaves out the COM declarations GDI+ needs.
#include <objidl.h>
#include <gdiplus.h>

#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIResource.h"

namespace SkinUI {

namespace {

// Numbers in image strings are kept well inside the int range, so sums of
// coordinates cannot overflow.
constexpr long kCoordinateLimit = 1L << 28;

bool IsBlank(wchar_t c) { return c != L'\0' && c <= L' '; }

// Reads `count` base-10 integers, each followed by exactly one separator
// character; missing numbers read as 0. Never steps past the terminator.
void ReadIntegers(const wchar_t* text, LONG* out, int count) {
    const wchar_t* p = text;
    for (int i = 0; i < count; ++i) {
        wchar_t* end = nullptr;
        long value = wcstol(p, &end, 10);
        out[i] = std::max(-kCoordinateLimit, std::min(kCoordinateLimit, value));
        p = end;
        if (*p) ++p;
    }
}

RECT ReadRect(const wchar_t* text) {
    LONG v[4];
    ReadIntegers(text, v, 4);
    return {v[0], v[1], v[2], v[3]};
}

bool ReadBool(const UIString& value) { return value == L"true"; }

// Reads image strings key by key into one set of attributes. "file", "res"
// and "restype" first hand the image read so far to the visitor, once the
// string has started one ("file" and "restype" start images, "res" does not).
class ImageStringReader {
public:
    ImageStringReader(const RECT& item, ImageAttributes& attributes, ImageVisitor visit, void* context)
        : item_(item), a_(attributes), visit_(visit), context_(context) {}

    void Read(const wchar_t* text) {
        if (!text || !*text) return;
        imagesStarted_ = 0;
        const wchar_t* p = text;
        for (;;) {
            while (IsBlank(*p)) ++p;
            const wchar_t* key = p;
            while (*p > L' ' && *p != L'=') ++p;
            UIString name(key, static_cast<int>(p - key));
            while (IsBlank(*p)) ++p;
            if (*p++ != L'=') return;
            while (IsBlank(*p)) ++p;
            if (*p++ != L'\'') return;
            const wchar_t* value = p;
            while (*p && *p != L'\'') ++p;
            if (*p != L'\'') return;
            UIString valueText(value, static_cast<int>(p - value));
            ++p;
            if (!valueText.IsEmpty()) Apply(name, valueText);
            if (*p != L' ' || p[1] == L'\0') return;
            ++p;
        }
    }

private:
    void DrawPending() {
        if (imagesStarted_ > 0) visit_(a_, context_);
    }

    void Apply(const UIString& key, const UIString& value) {
        if (key == L"file" || key == L"res") {
            DrawPending();
            a_.name = value;
            if (key == L"file") ++imagesStarted_;
        } else if (key == L"restype") {
            DrawPending();
            a_.resourceType = value;
            ++imagesStarted_;
        } else if (key == L"dest" || key == L"rdest") {
            RECT r = ReadRect(value);
            LONG x = key == L"dest" ? item_.left : item_.right;
            LONG y = key == L"dest" ? item_.top : item_.bottom;
            a_.dest = {x + r.left, y + r.top, x + r.right, y + r.bottom};
            a_.dest.right = std::min(a_.dest.right, item_.right);
            a_.dest.bottom = std::min(a_.dest.bottom, item_.bottom);
        } else if (key == L"source") {
            a_.source = ReadRect(value);
        } else if (key == L"corner") {
            a_.corner = ReadRect(value);
        } else if (key == L"centerrect") {
            a_.centerRect = ReadRect(value);
        } else if (key == L"mask") {
            const wchar_t* digits = value[0] == L'#' ? value.Data() + 1 : value.Data();
            a_.mask = wcstoul(digits, nullptr, 16);
        } else if (key == L"fade") {
            a_.fade = static_cast<BYTE>(wcstol(value, nullptr, 10));
        } else if (key == L"hole") {
            a_.hole = ReadBool(value);
        } else if (key == L"xtiled") {
            a_.xtiled = ReadBool(value);
        } else if (key == L"ytiled") {
            a_.ytiled = ReadBool(value);
        } else if (key == L"stretch") {
            a_.stretch = ReadBool(value);
        } else if (key == L"center") {
            a_.center = ReadBool(value);
        } else if (key == L"aligntop") {
            a_.alignTop = ReadBool(value);
        } else if (key == L"alignleft") {
            a_.alignLeft = ReadBool(value);
        } else if (key == L"roundcorner") {
            LONG v[2];
            ReadIntegers(value, v, 2);
            a_.roundCorner = {v[0], v[1]};
        }
    }

    const RECT& item_;
    ImageAttributes& a_;
    ImageVisitor visit_;
    void* context_;
    int imagesStarted_ = 0;
};

struct DrawContext {
    HDC dc;
    IRenderHostUI* host;
    const RECT& item;
    const RECT& paint;
};

void DrawVisited(const ImageAttributes& image, void* context) {
    auto* c = static_cast<DrawContext*>(context);
    CSkinRender::DrawNamedImage(c->dc, c->host, c->item, c->paint, image);
}

void DrawUnrounded(HDC dc, const SkinImage& image, const RECT& dest, const RECT& paint,
                   const RECT& source, const ImageAttributes& a) {
    const RECT& c = a.centerRect;
    if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
        CSkinRender::BlitImage(dc, image.bitmap.get(), dest, paint, image.hasAlpha, a.fade, a.hole,
                               a.xtiled, a.ytiled, a.corner, source);
    } else {
        CSkinRender::BlitImageAroundCenter(dc, image.bitmap.get(), dest, paint, source, c,
                                           a.alignTop, a.alignLeft, a.fade);
    }
}

// GDI+ for the length of one drawing.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

// Draws the image into a copy of the screen under `dest`, then paints that
// copy through an anti-aliased rounded-rectangle path onto a second copy, so
// pixels outside the rounded shape keep what was on screen.
void DrawRounded(HDC dc, const SkinImage& image, const RECT& dest, const RECT& source,
                 const ImageAttributes& a) {
    namespace Flat = Gdiplus::DllExports;
    int w = RectWidth(dest), h = RectHeight(dest);
    DibSection drawn(dc, w, h), result(dc, w, h);
    if (!drawn.valid() || !result.valid()) return;
    MemoryCanvas drawnCanvas(dc, drawn.bitmap()), resultCanvas(dc, result.bitmap());
    if (!drawnCanvas.valid() || !resultCanvas.valid()) return;
    RECT local = {0, 0, w, h};
    ::BitBlt(drawnCanvas.dc(), 0, 0, w, h, dc, dest.left, dest.top, SRCCOPY);
    DrawUnrounded(drawnCanvas.dc(), image, local, local, source, a);
    ::BitBlt(resultCanvas.dc(), 0, 0, w, h, dc, dest.left, dest.top, SRCCOPY);
    ::GdiFlush();

    GdiplusSession session;
    if (!session.ok()) return;
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpPath* path = nullptr;
    Gdiplus::GpBitmap* texture = nullptr;
    Gdiplus::GpTexture* brush = nullptr;
    bool ok = Flat::GdipCreateFromHDC(resultCanvas.dc(), &graphics) == Gdiplus::Ok &&
              Flat::GdipCreatePath(Gdiplus::FillModeAlternate, &path) == Gdiplus::Ok &&
              Flat::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppRGB,
                                              reinterpret_cast<BYTE*>(drawn.pixels()),
                                              &texture) == Gdiplus::Ok &&
              Flat::GdipCreateTexture(texture, Gdiplus::WrapModeTile, &brush) == Gdiplus::Ok;
    if (ok) {
        int ew = 2 * a.roundCorner.cx, eh = 2 * a.roundCorner.cy;
        Flat::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
        Flat::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHighQuality);
        Flat::GdipAddPathArcI(path, 0, 0, ew, eh, 180, 90);
        Flat::GdipAddPathArcI(path, w - ew, 0, ew, eh, 270, 90);
        Flat::GdipAddPathArcI(path, w - ew, h - eh, ew, eh, 0, 90);
        Flat::GdipAddPathArcI(path, 0, h - eh, ew, eh, 90, 90);
        Flat::GdipClosePathFigure(path);
        Flat::GdipFillPath(graphics, brush, path);
        Flat::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
    }
    if (brush) Flat::GdipDeleteBrush(brush);
    if (texture) Flat::GdipDisposeImage(texture);
    if (path) Flat::GdipDeletePath(path);
    if (graphics) Flat::GdipDeleteGraphics(graphics);
    if (ok) ::BitBlt(dc, dest.left, dest.top, w, h, resultCanvas.dc(), 0, 0, SRCCOPY);
}

}  // namespace

void CSkinRender::ParseImageString(const RECT& item, const wchar_t* image, const wchar_t* modifier,
                                   ImageVisitor visit, void* context) {
    ImageAttributes attributes;
    attributes.name.Assign(image);
    attributes.dest = item;
    ImageStringReader reader(item, attributes, visit, context);
    reader.Read(image);
    reader.Read(modifier);
    visit(attributes, context);
}

bool CSkinRender::DrawSkinImage(HDC dc, IRenderHostUI* host, const RECT& item, const RECT& paint,
                                const wchar_t* image, const wchar_t* modifier) {
    if (!dc || !host) return false;
    DrawContext context{dc, host, item, paint};
    ParseImageString(item, image, modifier, DrawVisited, &context);
    return true;
}

bool CSkinRender::DrawNamedImage(HDC dc, IRenderHostUI* host, const RECT& item, const RECT& paint,
                                 const ImageAttributes& a) {
    if (!dc || !host || a.name.IsEmpty()) return false;
    const SkinImage* image =
        host->FindOrLoadImage(a.name, a.resourceType.IsEmpty() ? nullptr : a.resourceType.Data(), a.mask);
    if (!image || !image->bitmap) return false;

    RECT source = a.source;
    if (source.left == 0 && source.top == 0 && source.right == 0 && source.bottom == 0) {
        source = {0, 0, image->width, image->height};
    }
    source.right = std::min<LONG>(source.right, image->width);
    source.bottom = std::min<LONG>(source.bottom, image->height);

    RECT dest = a.dest, overlap;
    if (!::IntersectRect(&overlap, &dest, &item) || !::IntersectRect(&overlap, &dest, &paint)) {
        return true;
    }
    int dw = RectWidth(dest), dh = RectHeight(dest);
    int sw = RectWidth(source), sh = RectHeight(source);
    if (!a.stretch && dw > 0 && dh > 0 && sw > 0 && sh > 0) {
        if (a.center) {
            if (dw >= sw && dh >= sh) {
                dest.left += (dw - sw) / 2;
                dest.top += (dh - sh) / 2;
                dest.right = dest.left + sw;
                dest.bottom = dest.top + sh;
            }
        } else {
            long long tallness = static_cast<long long>(sh) * dw, wideness = static_cast<long long>(sw) * dh;
            if (tallness > wideness) {
                int width = static_cast<int>(static_cast<long long>(sw) * dh / sh);
                dest.left += (dw - width) / 2;
                dest.right = dest.left + width;
            } else if (tallness < wideness) {
                int height = static_cast<int>(static_cast<long long>(sh) * dw / sw);
                dest.top += (dh - height) / 2;
                dest.bottom = dest.top + height;
            }
        }
    }
    if (a.roundCorner.cx == 0 && a.roundCorner.cy == 0) {
        DrawUnrounded(dc, *image, dest, paint, source, a);
    } else if (!IsEmptyRect(dest)) {
        DrawRounded(dc, *image, dest, source, a);
    }
    return true;
}

}  // namespace SkinUI
