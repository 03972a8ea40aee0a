// Helpers for the UI framework tests: PNG and ZIP bytes made on the spot, a
// memory canvas to draw into and read pixels from, and a render host with a
// real image cache and real fonts.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIResource.h"

namespace uitest {

// An 8-bit RGBA PNG of `width` x `height` pixels given as ARGB values
// (straight, not premultiplied), row by row.
std::string EncodePng(int width, int height, const std::vector<uint32_t>& argb);
// A PNG of one colour.
std::string SolidPng(int width, int height, uint32_t argb);

// Builds ZIP archives, stored or deflated, for the reader tests.
class ZipBuilder {
public:
    void Add(const std::string& name, const std::string& content, bool deflate = true);
    std::string Build() const;

    struct Entry {
        std::string name;
        std::string content;
        bool deflate;
    };

private:
    std::vector<Entry> entries_;
};

// A 32-bit top-down DIB selected into a memory DC.
class Canvas {
public:
    Canvas(int width, int height, uint32_t fill = 0xFF000000);
    HDC dc() const { return canvas_.dc(); }
    RECT bounds() const { return {0, 0, dib_.width(), dib_.height()}; }
    // The stored pixel (premultiplied BGRA as one ARGB value).
    uint32_t At(int x, int y) const;
    uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }
    void Fill(uint32_t argb);

private:
    SkinUI::DibSection dib_;
    SkinUI::MemoryCanvas canvas_;
};

// The render host: images through a CSkinImageCache (so through the real
// skin source), fonts made like the window manager makes them.
class TestRenderHost : public SkinUI::IRenderHostUI {
public:
    TestRenderHost();
    ~TestRenderHost();

    const SkinUI::SkinImage* FindOrLoadImage(const wchar_t* name, const wchar_t* resourceType,
                                             DWORD mask) override;
    HFONT FontByIndex(int index) override;
    HFONT FindFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) override;
    HFONT AddFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) override;
    bool IsLayered() override { return layered; }
    DWORD LinkFontColor() override { return 0xFF0000FF; }
    DWORD LinkHoverFontColor() override { return 0xFFD3215F; }
    DWORD SelectedBkColor() override { return 0xFFBAE4FF; }
    POINT LastMousePos() override { return mouse; }

    SkinUI::CSkinImageCache images;
    bool layered = false;
    POINT mouse = {-1, -1};
    int imageRequests = 0;

private:
    struct Font {
        HFONT handle;
        std::wstring face;
        int size;
        bool bold, underline, italic;
    };
    HFONT defaultFont_;
    std::vector<Font> fonts_;
};

// Points the skin source at a folder of plain files (no archive).
void UseFolder(const std::wstring& folder);

// Colour channels of a pixel.
inline int Red(uint32_t c) { return (c >> 16) & 0xFF; }
inline int Green(uint32_t c) { return (c >> 8) & 0xFF; }
inline int Blue(uint32_t c) { return c & 0xFF; }
inline int Alpha(uint32_t c) { return c >> 24; }

}  // namespace uitest
