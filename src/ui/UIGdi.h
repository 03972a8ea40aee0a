// Move-only owners and guards for the GDI objects the framework creates:
// bitmaps, pens, brushes, fonts and regions (DeleteObject), memory DCs
// (DeleteDC), objects selected into a DC, and 32-bit DIB sections.
#pragma once

#include <windows.h>

#include "Runtime/WinHandle.h"

namespace SkinUI {

template <typename H>
struct GdiObjectTraits {
    using Value = H;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { ::DeleteObject(h); }
};

struct MemoryDcTraits {
    using Value = HDC;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { ::DeleteDC(h); }
};

using UniqueBitmap = Runtime::UniqueResource<GdiObjectTraits<HBITMAP>>;
using UniquePen = Runtime::UniqueResource<GdiObjectTraits<HPEN>>;
using UniqueBrush = Runtime::UniqueResource<GdiObjectTraits<HBRUSH>>;
using UniqueFont = Runtime::UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueRegion = Runtime::UniqueResource<GdiObjectTraits<HRGN>>;
using UniqueMemoryDc = Runtime::UniqueResource<MemoryDcTraits>;

// Selects an object into a DC and puts the previous one back on scope exit,
// so the object can be deleted afterwards.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectGuard() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A 32-bit top-down DIB section with direct access to its pixels (BGRA, one
// DWORD per pixel, rows of width * 4 bytes).
class DibSection {
public:
    DibSection() = default;
    // Creates the bitmap; check valid() afterwards. Sizes must be positive.
    DibSection(HDC reference, int width, int height);

    bool valid() const { return bitmap_.valid(); }
    HBITMAP bitmap() const { return bitmap_.get(); }
    DWORD* pixels() const { return pixels_; }
    int width() const { return width_; }
    int height() const { return height_; }
    DWORD* row(int y) const { return pixels_ + static_cast<size_t>(y) * width_; }
    // Gives up the bitmap (the pixel pointer stays valid while it lives).
    HBITMAP release() { return bitmap_.release(); }

private:
    UniqueBitmap bitmap_;
    DWORD* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// A memory DC compatible with `reference` with a bitmap selected into it for
// its whole life.
class MemoryCanvas {
public:
    MemoryCanvas(HDC reference, HBITMAP bitmap)
        : dc_(::CreateCompatibleDC(reference)), select_(dc_.get(), dc_.valid() ? bitmap : nullptr) {}
    bool valid() const { return dc_.valid(); }
    HDC dc() const { return dc_.get(); }

private:
    UniqueMemoryDc dc_;
    SelectGuard select_;
};

inline bool IsEmptyRect(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }

// The RGB part of an ARGB colour as a COLORREF.
inline COLORREF ArgbToColorRef(DWORD argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

}  // namespace SkinUI
