// Fills, lines, the software blend, colour shifts and text, drawn into a
// real memory DC and checked on pixels.
#include <gtest/gtest.h>

#include <windows.h>

#include "UiTestSupport.h"
#include "ui/UIRender.h"

using SkinUI::CSkinRender;
using SkinUI::RectHeight;
using SkinUI::RectWidth;
using SkinUI::UIString;
using uitest::Canvas;

namespace {

// Pixels of `canvas` inside `r` whose RGB value `wanted` accepts.
template <typename Predicate>
int CountPixels(const Canvas& canvas, const RECT& r, Predicate wanted) {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) count += wanted(canvas.Rgb(x, y));
    }
    return count;
}

// Pixels of `canvas` inside `r` whose colour is not `background`.
int CountDrawn(const Canvas& canvas, const RECT& r, uint32_t background) {
    return CountPixels(canvas, r, [&](uint32_t c) { return c != (background & 0xFFFFFF); });
}

TEST(FillSolid, AlphaDecidesBetweenNothingOpaqueAndBlended) {
    struct Case {
        uint32_t color;
        uint32_t expected;  // RGB on a white canvas
        int tolerance;
    } cases[] = {
        {0x00FFFFFF, 0xFFFFFF, 0},  // transparent: nothing
        {0x00000000, 0xFFFFFF, 0},
        {0xFF000000, 0x000000, 0},  // opaque black
        {0xFF123456, 0x123456, 0},
        {0x80FF0000, 0xFF7F7F, 2},  // half-transparent red over white
    };
    for (const Case& c : cases) {
        Canvas canvas(10, 10, 0xFFFFFFFF);
        CSkinRender::FillSolid(canvas.dc(), {2, 2, 8, 8}, c.color);
        uint32_t got = canvas.Rgb(5, 5);
        EXPECT_NEAR(uitest::Red(c.expected), uitest::Red(got), c.tolerance) << std::hex << c.color;
        EXPECT_NEAR(uitest::Green(c.expected), uitest::Green(got), c.tolerance) << std::hex << c.color;
        EXPECT_NEAR(uitest::Blue(c.expected), uitest::Blue(got), c.tolerance) << std::hex << c.color;
        EXPECT_EQ(0xFFFFFFu, canvas.Rgb(1, 1)) << std::hex << c.color;
        EXPECT_EQ(0xFFFFFFu, canvas.Rgb(8, 8)) << std::hex << c.color;
    }
}

TEST(FillGradient, RunsTopToBottomAndBlendsWithTheAverageAlpha) {
    Canvas canvas(10, 100, 0xFF000000);
    CSkinRender::FillGradient(canvas.dc(), {0, 0, 10, 100}, 0xFFFF0000, 0xFF0000FF, 16);
    uint32_t top = canvas.Rgb(5, 0), middle = canvas.Rgb(5, 50), bottom = canvas.Rgb(5, 99);
    EXPECT_GT(uitest::Red(top), 240);
    EXPECT_LT(uitest::Blue(top), 15);
    EXPECT_GT(uitest::Blue(bottom), 240);
    EXPECT_LT(uitest::Red(bottom), 15);
    EXPECT_NEAR(128, uitest::Red(middle), 12);

    canvas.Fill(0xFF000000);
    CSkinRender::FillGradient(canvas.dc(), {0, 0, 10, 100}, 0xFFFFFFFF, 0x00FFFFFF, 8);
    EXPECT_NEAR(127, uitest::Red(canvas.Rgb(5, 50)), 3) << "average alpha (255 + 0) / 2";

    canvas.Fill(0xFF000000);
    CSkinRender::FillGradient(canvas.dc(), {0, 0, 10, 100}, 0x00FFFFFF, 0x01FFFFFF, 8);
    EXPECT_EQ(0u, canvas.Rgb(5, 50)) << "average alpha 0 draws nothing";
}

TEST(FillGradient, BandsWhereGradientFillIsMissing) {
    Canvas canvas(4, 80, 0xFF000000);
    CSkinRender::FillGradientBands(canvas.dc(), {0, 0, 4, 80}, 0xFF000000, 0xFF0000FF, 8);
    // 8 bands of 10 rows: blue 0, 36, 72, ... 255.
    EXPECT_EQ(0, uitest::Blue(canvas.Rgb(0, 5)));
    EXPECT_EQ(255 / 7, uitest::Blue(canvas.Rgb(0, 15)));
    EXPECT_EQ(255, uitest::Blue(canvas.Rgb(0, 75)));
    EXPECT_EQ(uitest::Blue(canvas.Rgb(0, 10)), uitest::Blue(canvas.Rgb(0, 19)));

    canvas.Fill(0xFF000000);
    CSkinRender::FillGradientBands(canvas.dc(), {0, 0, 4, 80}, 0xFF000000, 0xFF0000FF, 16);
    EXPECT_EQ(255 / 15, uitest::Blue(canvas.Rgb(0, 5)));  // 16 bands of 5 rows
}

TEST(Strokes, LinesFramesAndRoundedFrames) {
    Canvas canvas(30, 30, 0xFFFFFFFF);
    CSkinRender::StrokeLine(canvas.dc(), {0, 5, 30, 5}, 1, 0xFFFF0000);
    EXPECT_EQ(0xFF0000u, canvas.Rgb(15, 5));
    EXPECT_EQ(0xFFFFFFu, canvas.Rgb(15, 6));

    canvas.Fill(0xFFFFFFFF);
    CSkinRender::StrokeRect(canvas.dc(), {5, 5, 25, 25}, 2, 0xFF0000FF);
    EXPECT_EQ(0x0000FFu, canvas.Rgb(5, 15));
    EXPECT_EQ(0x0000FFu, canvas.Rgb(6, 15));
    EXPECT_EQ(0xFFFFFFu, canvas.Rgb(7, 15)) << "drawn inside the frame, no fill";
    EXPECT_EQ(0x0000FFu, canvas.Rgb(24, 24));
    EXPECT_EQ(0xFFFFFFu, canvas.Rgb(25, 25));

    canvas.Fill(0xFFFFFFFF);
    CSkinRender::StrokeRoundRect(canvas.dc(), {5, 5, 25, 25}, 1, 10, 10, 0xFF00FF00);
    EXPECT_EQ(0x00FF00u, canvas.Rgb(15, 5));
    EXPECT_EQ(0xFFFFFFu, canvas.Rgb(5, 5)) << "the corner is rounded off";
    EXPECT_EQ(0xFFFFFFu, canvas.Rgb(15, 15));
}

TEST(SoftAlphaBlend, MatchesTheSystemBlendOnPremultipliedPixels) {
    // Source: premultiplied red at alpha 128, opaque green, transparent.
    SkinUI::DibSection source(nullptr, 3, 1);
    source.pixels()[0] = 0x80800000;
    source.pixels()[1] = 0xFF00FF00;
    source.pixels()[2] = 0x00000000;
    SkinUI::MemoryCanvas sourceCanvas(nullptr, source.bitmap());
    for (BYTE constantAlpha : {BYTE(255), BYTE(128), BYTE(40)}) {
        Canvas system(3, 1, 0xFF4080C0), soft(3, 1, 0xFF4080C0);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, constantAlpha, AC_SRC_ALPHA};
        ASSERT_TRUE(::AlphaBlend(system.dc(), 0, 0, 3, 1, sourceCanvas.dc(), 0, 0, 3, 1, blend));
        ASSERT_TRUE(CSkinRender::SoftAlphaBlend(soft.dc(), 0, 0, 3, 1, sourceCanvas.dc(), 0, 0, 3, 1, constantAlpha));
        for (int x = 0; x < 3; ++x) {
            uint32_t a = system.Rgb(x, 0), b = soft.Rgb(x, 0);
            EXPECT_NEAR(uitest::Red(a), uitest::Red(b), 2) << int(constantAlpha) << " pixel " << x;
            EXPECT_NEAR(uitest::Green(a), uitest::Green(b), 2) << int(constantAlpha) << " pixel " << x;
            EXPECT_NEAR(uitest::Blue(a), uitest::Blue(b), 2) << int(constantAlpha) << " pixel " << x;
        }
    }
}

TEST(ShiftColorHsl, ShiftsHueAndScalesSaturationAndLightness) {
    struct Case {
        uint32_t color;
        short hue, saturation, lightness;
        uint32_t expected;
    } cases[] = {
        {0x80123456, 180, 100, 100, 0x80123456},  // neutral values: unchanged
        {0xFFFF0000, 0, 100, 100, 0xFF00FFFF},    // red turned half round: cyan
        {0xFFFF0000, 300, 100, 100, 0xFF00FF00},  // +120 degrees: green
        {0xFFFF0000, 180, 0, 100, 0xFF808080},    // no saturation: grey
        {0x40FF0000, 180, 100, 0, 0x40000000},    // no lightness: black, alpha kept
        {0xFF808080, 90, 100, 100, 0xFF808080},   // grey has no hue to shift
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, CSkinRender::ShiftColorHsl(c.color, c.hue, c.saturation, c.lightness))
            << std::hex << c.color << " " << std::dec << c.hue << " " << c.saturation << " " << c.lightness;
    }
}

TEST(PlainText, DrawsInTheColourAndFontInsideTheRectangle) {
    uitest::TestRenderHost host;
    Canvas canvas(120, 30, 0xFFFFFFFF);
    CSkinRender::DrawPlainText(canvas.dc(), &host, {10, 5, 110, 25}, L"Install 安装", 0xFFFF0000, 0,
                               DT_SINGLELINE | DT_VCENTER);
    EXPECT_GT(CountPixels(canvas, canvas.bounds(),
                          [](uint32_t c) { return uitest::Red(c) - uitest::Green(c) > 100; }),
              20);
    EXPECT_EQ(0, CountDrawn(canvas, {0, 0, 10, 30}, 0xFFFFFFFF));

    Canvas untouched(20, 20, 0xFFFFFFFF);
    CSkinRender::DrawPlainText(untouched.dc(), &host, {0, 0, 20, 20}, nullptr, 0xFF000000, 0, 0);
    CSkinRender::DrawPlainText(untouched.dc(), nullptr, {0, 0, 20, 20}, L"x", 0xFF000000, 0, 0);
    EXPECT_EQ(0, CountDrawn(untouched, {0, 0, 20, 20}, 0xFFFFFFFF));
}

TEST(PlainText, OnALayeredWindowTheTextCarriesItsOwnAlpha) {
    uitest::TestRenderHost host;
    host.layered = true;
    Canvas canvas(100, 30, 0x00000000);  // fully transparent, as a layered window starts
    CSkinRender::DrawPlainText(canvas.dc(), &host, {0, 0, 100, 30}, L"Layered", 0xFF00FF00, 0,
                               DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    int opaque = 0, leftEdge = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 100; ++x) {
            uint32_t c = canvas.At(x, y);
            if (uitest::Alpha(c) > 200) {
                ++opaque;
                EXPECT_EQ(0, uitest::Red(c));
                EXPECT_GE(uitest::Green(c), uitest::Alpha(c) - 2) << "premultiplied green";
                leftEdge += x < 10;
            }
        }
    }
    EXPECT_GT(opaque, 10);
    EXPECT_EQ(0, leftEdge) << "centred, so nothing at the left edge";
}

TEST(MarkupText, MeasuresColoursAndReportsLinks) {
    uitest::TestRenderHost host;
    Canvas canvas(300, 60, 0xFFFFFFFF);
    RECT rect = {0, 0, 300, 60};
    RECT measured = rect;
    int none = 0;
    CSkinRender::DrawMarkupText(canvas.dc(), &host, measured, L"one<n>two", 0xFF000000, nullptr, nullptr,
                                none, DT_CALCRECT);
    RECT oneLine = rect;
    CSkinRender::DrawMarkupText(canvas.dc(), &host, oneLine, L"one", 0xFF000000, nullptr, nullptr, none,
                                DT_CALCRECT);
    EXPECT_GT(RectHeight(measured), RectHeight(oneLine));
    EXPECT_GT(RectWidth(oneLine), 5);
    EXPECT_EQ(0, CountDrawn(canvas, rect, 0xFFFFFFFF)) << "measuring draws nothing";

    RECT links[2] = {};
    UIString texts[2];
    int count = 2;
    CSkinRender::DrawMarkupText(canvas.dc(), &host, rect,
                                L"<c #FFFF0000>red</c> <a http://127.0.0.1/xy/>link</a> <b>bold</b>",
                                0xFF000000, links, texts, count, 0);
    ASSERT_EQ(1, count);
    EXPECT_EQ(std::wstring(L"http://127.0.0.1/xy/"), texts[0].Data());
    EXPECT_GT(links[0].right, links[0].left);
    EXPECT_GT(links[0].left, 0);
    const RECT firstLine = {0, 0, 300, 30};
    EXPECT_GT(CountPixels(canvas, firstLine,
                          [](uint32_t c) { return uitest::Red(c) - uitest::Blue(c) > 100; }),
              5);
    EXPECT_GT(CountPixels(canvas, firstLine,
                          [](uint32_t c) { return uitest::Blue(c) - uitest::Red(c) > 100; }),
              5)
        << "links in the link colour";

    // Hovering the link from the last paint uses the hover colour.
    host.mouse = {links[0].left + 1, links[0].top + 1};
    canvas.Fill(0xFFFFFFFF);
    count = 2;
    CSkinRender::DrawMarkupText(canvas.dc(), &host, rect, L"<a go>link</a>", 0xFF000000, links, texts,
                                count, 0);
    EXPECT_GT(CountPixels(canvas, firstLine,
                          [](uint32_t c) {
                              return uitest::Red(c) > 150 && uitest::Blue(c) < 140 &&
                                     uitest::Blue(c) > 40;
                          }),
              5);
}

TEST(MarkupText, WrapsAndClipsToTheRectangle) {
    uitest::TestRenderHost host;
    Canvas canvas(200, 200, 0xFFFFFFFF);
    const wchar_t* text = L"many words that do not fit on one short line at all";
    RECT wrapped = {0, 0, 60, 200};
    int none = 0;
    CSkinRender::DrawMarkupText(canvas.dc(), &host, wrapped, text, 0xFF000000, nullptr, nullptr, none,
                                DT_CALCRECT | DT_WORDBREAK);
    RECT single = {0, 0, 60, 200};
    CSkinRender::DrawMarkupText(canvas.dc(), &host, single, text, 0xFF000000, nullptr, nullptr, none,
                                DT_CALCRECT);
    EXPECT_LE(wrapped.right, 60);
    EXPECT_GT(RectHeight(wrapped), 3 * RectHeight(single));

    RECT box = {20, 20, 80, 40};
    CSkinRender::DrawMarkupText(canvas.dc(), &host, box, text, 0xFF000000, nullptr, nullptr, none,
                                DT_WORDBREAK | DT_CENTER | DT_VCENTER);
    EXPECT_GT(CountDrawn(canvas, box, 0xFFFFFFFF), 10);
    EXPECT_EQ(0, CountDrawn(canvas, {0, 0, 200, 20}, 0xFFFFFFFF));
    EXPECT_EQ(0, CountDrawn(canvas, {0, 40, 200, 200}, 0xFFFFFFFF));
    EXPECT_EQ(0, CountDrawn(canvas, {80, 0, 200, 200}, 0xFFFFFFFF));

    // Unknown and unfinished tags, escapes and raw text draw without trouble.
    canvas.Fill(0xFFFFFFFF);
    RECT all = {0, 0, 200, 200};
    CSkinRender::DrawMarkupText(canvas.dc(), &host, all,
                                L"<{> {<} <r><b>raw</r> <q> <b unclosed <f 7>f</f></f></b><i missing.png> "
                                L"<x 10><y 30><s>sel</s><p 4>para</p><u>u</u>",
                                0xFF000000, nullptr, nullptr, none, DT_END_ELLIPSIS);
    EXPECT_GT(CountDrawn(canvas, all, 0xFFFFFFFF), 10);
}

}  // namespace
