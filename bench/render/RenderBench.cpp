// Measures the skin resources and the render engine:
//  1. opening the embedded skin archive, and opening it and decoding every
//     image of both skins;
//  2. drawing the progress page's four-item background string into a
//     500 x 30 DIB, beside the same images drawn with plain GDI AlphaBlend
//     calls (the floor: no parsing, no lookups, memory DCs made once).
// Prints the best time per operation of several rounds, so that other work
// on the machine disturbs the figures as little as possible.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIResource.h"
#include "ui/UIZip.h"

using namespace SkinUI;

namespace {

constexpr UINT kSkinArchiveId = 150;
constexpr int kRounds = 7;
constexpr int kBarWidth = 500;
constexpr int kBarHeight = 30;

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// Best seconds per operation over kRounds rounds of `count` operations.
double Measure(int count, const std::function<void()>& operation) {
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double start = Seconds();
        for (int i = 0; i < count; ++i) operation();
        best = std::min(best, (Seconds() - start) / count);
    }
    return best;
}

class BenchHost : public IRenderHostUI {
public:
    const SkinImage* FindOrLoadImage(const wchar_t* name, const wchar_t* type, DWORD mask) override {
        return images.FindOrLoad(name, type, mask);
    }
    HFONT FontByIndex(int) override { return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)); }
    HFONT FindFont(const wchar_t*, int, bool, bool, bool) override { return nullptr; }
    HFONT AddFont(const wchar_t*, int, bool, bool, bool) override { return nullptr; }
    bool IsLayered() override { return false; }
    DWORD LinkFontColor() override { return 0xFF0000FF; }
    DWORD LinkHoverFontColor() override { return 0xFFD3215F; }
    DWORD SelectedBkColor() override { return 0xFFBAE4FF; }
    POINT LastMousePos() override { return {-1, -1}; }

    CSkinImageCache images;
};

// The progress bar half filled, its light at 200 pixels: the values the main
// window computes for a 500-pixel bar.
struct BarValues {
    int w = kBarWidth, fill = 250, lightPos = 200;
    int m() const { return std::min(fill, 110); }
    int a() const { return std::max(lightPos - 80, 0); }
    int s() const { return a() - lightPos + 80; }
    int b() const { return std::min(fill, lightPos); }
    int d() const { return std::max(std::min(fill, lightPos - 230), 0); }
    int e() const { return b() > d() ? b() - lightPos + 230 : 0; }
    int g() const { return b() > d() ? d() - lightPos + 230 : 0; }
};

std::wstring ProgressString(const BarValues& v, bool withLights) {
    const wchar_t* gap = L" \t\t\t\t\t\t\t\t\t   ";
    wchar_t text[520] = {};
    if (withLights) {
        _snwprintf(text, 519,
                 L"file='progress_bk.png' dest='0,0,%d,30'%s"
                 L"file='progress_fore.png' corner='0,10,%d,10' dest='0,0,%d,30'%s"
                 L"file='pro_flash_bk.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30'%s"
                 L"file='pro_flash_fore.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30'%s",
                 v.w, gap, v.m(), v.fill, gap, v.a(), v.lightPos, v.s(), 80, gap, v.d(), v.b(), v.g(),
                 v.e(), gap);
    } else {
        _snwprintf(text, 519,
                 L"file='progress_bk.png' dest='0,0,%d,30'%s"
                 L"file='progress_fore.png' corner='0,10,%d,10' dest='0,0,%d,30'%s",
                 v.w, gap, v.m(), v.fill, gap);
    }
    return text;
}

// The same two images as the string's first two items, drawn with the
// AlphaBlend calls the nine-part split of the fill needs: the track 1:1,
// then the fill's top, middle and bottom bands and its unscaled right end.
class PlainGdiBar {
public:
    PlainGdiBar(HDC reference, const SkinImage& track, const SkinImage& fill)
        : track_(reference, track.bitmap.get()), fill_(reference, fill.bitmap.get()),
          fillWidth_(fill.width) {}

    void Draw(HDC dc, const BarValues& v) const {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::AlphaBlend(dc, 0, 0, v.w, kBarHeight, track_.dc(), 0, 0, v.w, kBarHeight, blend);
        int m = v.m(), stretched = v.fill - m, sourceStretched = fillWidth_ - m;
        for (int band : {0, 10, 20}) {
            if (stretched > 0) {
                ::AlphaBlend(dc, 0, band, stretched, 10, fill_.dc(), 0, band, sourceStretched, 10, blend);
            }
            ::AlphaBlend(dc, stretched, band, m, 10, fill_.dc(), sourceStretched, band, m, 10, blend);
        }
    }

private:
    MemoryCanvas track_;
    MemoryCanvas fill_;
    int fillWidth_;
};

std::vector<std::wstring> ImageNames() {
    std::vector<std::wstring> names;
    HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kSkinArchiveId), L"ZIPRES");
    HGLOBAL handle = info ? ::LoadResource(nullptr, info) : nullptr;
    const void* data = handle ? ::LockResource(handle) : nullptr;
    CSkinZip zip;
    if (!data || !zip.OpenMemory(data, ::SizeofResource(nullptr, info))) return names;
    for (int i = 0; i < zip.ItemCount(); ++i) {
        int length = 0;
        const char* name = zip.ItemName(i, &length);
        std::string item(name, static_cast<size_t>(length));
        if (item.size() > 4 && item.compare(item.size() - 4, 4, ".png") == 0) {
            names.push_back(std::wstring(item.begin(), item.end()));
        }
    }
    return names;
}

}  // namespace

int wmain() {
    std::vector<std::wstring> names = ImageNames();
    if (names.empty()) {
        fprintf(stderr, "render bench: no skin archive in the program's resources\n");
        return 1;
    }

    double open = Measure(200, [] {
        CSkinResources::ReleaseEmbeddedZip();
        CSkinResources::LoadEmbeddedZip(kSkinArchiveId);
    });
    size_t decodedImages = 0;
    double openAndDecode = Measure(20, [&] {
        CSkinResources::ReleaseEmbeddedZip();
        CSkinResources::LoadEmbeddedZip(kSkinArchiveId);
        decodedImages = 0;
        for (const std::wstring& name : names) {
            decodedImages += CSkinResources::LoadSkinImage(name.c_str(), nullptr, 0) != nullptr;
        }
    });

    BenchHost host;
    DibSection target(nullptr, kBarWidth, kBarHeight);
    MemoryCanvas canvas(nullptr, target.bitmap());
    RECT bar = {0, 0, kBarWidth, kBarHeight};
    BarValues values;
    std::wstring fourItems = ProgressString(values, true), twoItems = ProgressString(values, false);
    const SkinImage* track = host.images.FindOrLoad(L"progress_bk.png", nullptr, 0);
    const SkinImage* fill = host.images.FindOrLoad(L"progress_fore.png", nullptr, 0);
    if (!track || !fill || !target.valid()) {
        fprintf(stderr, "render bench: the progress images did not load\n");
        return 1;
    }
    // The floor keeps its own copies selected into its memory DCs: a bitmap
    // can be selected into one DC only, and the engine selects the cached
    // ones while it draws.
    std::unique_ptr<SkinImage> trackCopy = CSkinResources::LoadSkinImage(L"progress_bk.png", nullptr, 0);
    std::unique_ptr<SkinImage> fillCopy = CSkinResources::LoadSkinImage(L"progress_fore.png", nullptr, 0);
    if (!trackCopy || !fillCopy) return 1;
    PlainGdiBar plain(canvas.dc(), *trackCopy, *fillCopy);

    // Both draw the same pixels.
    DibSection check(nullptr, kBarWidth, kBarHeight);
    MemoryCanvas checkCanvas(nullptr, check.bitmap());
    CSkinRender::DrawSkinImage(canvas.dc(), &host, bar, bar, twoItems.c_str());
    plain.Draw(checkCanvas.dc(), values);
    ::GdiFlush();
    int largestDifference = 0;
    for (int i = 0; i < kBarWidth * kBarHeight; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            int a = (target.pixels()[i] >> shift) & 0xFF, b = (check.pixels()[i] >> shift) & 0xFF;
            largestDifference = std::max(largestDifference, a > b ? a - b : b - a);
        }
    }

    const int draws = 1000;
    double engineFour = Measure(draws, [&] {
        CSkinRender::DrawSkinImage(canvas.dc(), &host, bar, bar, fourItems.c_str());
    });
    double engineTwo = Measure(draws, [&] {
        CSkinRender::DrawSkinImage(canvas.dc(), &host, bar, bar, twoItems.c_str());
    });
    double floor = Measure(draws, [&] { plain.Draw(canvas.dc(), values); });
    ::GdiFlush();

    printf("Skin archive (%zu images, %d bytes of resource)\n", names.size(),
           static_cast<int>(::SizeofResource(nullptr, ::FindResourceW(nullptr, MAKEINTRESOURCEW(kSkinArchiveId), L"ZIPRES"))));
    printf("  open the embedded archive                    %9.1f us/op\n", open * 1e6);
    printf("  open it and decode all %2zu images             %9.1f us/op\n", decodedImages, openAndDecode * 1e6);
    printf("Progress bar background, 500 x 30 DIB, %d draws per round, best of %d rounds\n", draws, kRounds);
    printf("  engine, the four-item string (two missing)   %9.2f us/op  %5.2fx the floor\n", engineFour * 1e6,
           engineFour / floor);
    printf("  engine, its two items with images            %9.2f us/op  %5.2fx the floor\n", engineTwo * 1e6,
           engineTwo / floor);
    printf("  plain GDI AlphaBlend of the same images      %9.2f us/op  (floor)\n", floor * 1e6);
    printf("  largest channel difference, engine and floor %6d\n", largestDifference);
    return 0;
}
