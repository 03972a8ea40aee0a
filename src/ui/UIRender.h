// The render engine: stateless drawing routines every control paints with.
//
// Images are described by image-attribute strings such as
//   file='progress_fore.png' corner='0,10,110,10' dest='0,0,250,30'
// and drawn with nine-part scaling, fade, hole, tiling, centre-preserving
// scaling and rounded corners. Colours are 32-bit ARGB (alpha in the top
// byte, 0xFF opaque). All geometry is in device pixels of the window's client
// area; every routine takes the paint rectangle and skips what lies outside
// it. Main (UI) thread only.
#pragma once

#include <windows.h>

#include "ui/UIString.h"

namespace SkinUI {

struct SkinImage;

// What the render engine needs from the window it paints for; the window
// manager implements it.
class IRenderHostUI {
public:
    // The image cached under `name`, loaded on first request with that
    // resource type (null or empty: none) and mask; null when it cannot be
    // obtained.
    virtual const SkinImage* FindOrLoadImage(const wchar_t* name, const wchar_t* resourceType,
                                             DWORD mask) = 0;
    // The window's font at `index`; an index outside its list gives the
    // default font.
    virtual HFONT FontByIndex(int index) = 0;
    // A font of the window with exactly this description, or null.
    virtual HFONT FindFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) = 0;
    // Creates a font and adds it to the window's list; null on failure.
    virtual HFONT AddFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) = 0;
    // Whether the window paints as a per-pixel-alpha layered window, where
    // plain GDI text would come out transparent.
    virtual bool IsLayered() = 0;
    virtual DWORD LinkFontColor() = 0;
    virtual DWORD LinkHoverFontColor() = 0;
    virtual DWORD SelectedBkColor() = 0;
    // The last mouse position in client coordinates.
    virtual POINT LastMousePos() = 0;

protected:
    ~IRenderHostUI() = default;
};

// One image as an image string describes it (see DrawSkinImage).
struct ImageAttributes {
    UIString name;
    UIString resourceType;
    RECT dest = {};        // absolute; the item rectangle unless given
    RECT source = {};      // 0,0,0,0 = the whole image
    RECT corner = {};      // fixed border widths for nine-part scaling
    RECT centerRect = {};  // 0,0,0,0 = off
    DWORD mask = 0;
    BYTE fade = 255;
    bool hole = false;
    bool xtiled = false;
    bool ytiled = false;
    bool stretch = true;
    bool center = false;
    bool alignTop = false;
    bool alignLeft = false;
    SIZE roundCorner = {};  // 0,0 = off
};

// Called once per image an image string draws, in order.
using ImageVisitor = void (*)(const ImageAttributes& image, void* context);

class CSkinRender {
public:
    // ---- Images ----

    // Parses `image`, then `modifier` (whose keys override), and draws each
    // image they describe. False only when `dc` or `host` is missing.
    static bool DrawSkinImage(HDC dc, IRenderHostUI* host, const RECT& item, const RECT& paint,
                              const wchar_t* image, const wchar_t* modifier = nullptr);
    // The parsing half of DrawSkinImage: calls `visit` for every image the
    // strings describe, with the attributes in effect at that point.
    static void ParseImageString(const RECT& item, const wchar_t* image, const wchar_t* modifier,
                                 ImageVisitor visit, void* context);
    // Draws one image; false when the name is empty or the image cannot be
    // obtained.
    static bool DrawNamedImage(HDC dc, IRenderHostUI* host, const RECT& item, const RECT& paint,
                               const ImageAttributes& image);
    // Nine-part drawing of `source` of a bitmap into `dest`.
    static void BlitImage(HDC dc, HBITMAP bitmap, const RECT& dest, const RECT& paint, bool hasAlpha,
                          BYTE fade, bool hole, bool xtiled, bool ytiled, const RECT& corner,
                          const RECT& source);
    // Centre-preserving drawing: the centre area of the image is drawn
    // unscaled, surrounded by as much of the image as the destination
    // leaves room for.
    static void BlitImageAroundCenter(HDC dc, HBITMAP bitmap, const RECT& dest, const RECT& paint,
                                      const RECT& source, const RECT& centerRect, bool alignTop,
                                      bool alignLeft, BYTE fade);
    // Premultiplied source-over blending with a constant alpha, in software;
    // stands in for the system AlphaBlend where msimg32 lacks it.
    static bool SoftAlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                               int sourceY, int sourceWidth, int sourceHeight, BYTE constantAlpha);

    // ---- Fills and lines ----

    // Alpha 0 draws nothing; 0xFF fills opaquely; anything else blends.
    static void FillSolid(HDC dc, const RECT& rect, DWORD color);
    // A vertical gradient from `first` at the top to `second` at the bottom,
    // blended with the average of both alphas.
    static void FillGradient(HDC dc, const RECT& rect, DWORD first, DWORD second, int steps);
    // The gradient as solid bands (8 when steps < 16, else 16); used where
    // msimg32 lacks GradientFill.
    static void FillGradientBands(HDC dc, const RECT& rect, DWORD first, DWORD second, int steps);
    // A line from (left, top) to (right, bottom).
    static void StrokeLine(HDC dc, const RECT& rect, int width, DWORD color, int penStyle = PS_SOLID);
    static void StrokeRect(HDC dc, const RECT& rect, int width, DWORD color);
    static void StrokeRoundRect(HDC dc, const RECT& rect, int width, int ellipseWidth,
                                int ellipseHeight, DWORD color);

    // ---- Text ----

    // One text in the window's font `font` with DrawText `style`.
    static void DrawPlainText(HDC dc, IRenderHostUI* host, const RECT& rect, const wchar_t* text,
                              DWORD color, int font, UINT style);
    // Text with its own alpha, for layered windows: rendered into a bitmap
    // in the DC's current font and blended at `rect` as `style` aligns it.
    static void DrawTextAlpha(HDC dc, const RECT& rect, const wchar_t* text, DWORD color, UINT style);
    // Text with the small markup of labels: <b>, <c #ARGB>, <a link>, <n> ...
    // With DT_CALCRECT only measures and returns the needed rectangle in
    // `rect`. `links`/`linkTexts` have room for `linkCount` entries on entry
    // (the rectangles from the last paint decide which link is hovered);
    // on return `linkCount` is the number of links found.
    static void DrawMarkupText(HDC dc, IRenderHostUI* host, RECT& rect, const wchar_t* text,
                               DWORD color, RECT* links, UIString* linkTexts, int& linkCount,
                               UINT style);

    // Shifts hue (degrees, 180 = none) and scales saturation and lightness
    // (percent, 100 = none) of a colour; alpha is kept.
    static DWORD ShiftColorHsl(DWORD color, short hue, short saturation, short lightness);
};

}  // namespace SkinUI
