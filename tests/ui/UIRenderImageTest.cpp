// Image strings drawn into a real memory DC and DIB section, checked on
// pixels.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ui/UIRender.h"
#include "ui/UIResource.h"

using SkinUI::CSkinRender;
using SkinUI::ImageAttributes;
using uitest::Canvas;

namespace {

constexpr uint32_t kBackground = 0xFF202020;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr uint32_t kBackgroundRgb = kBackground & 0xFFFFFF;

// 8 x 8: red, green / blue, white quadrants.
std::vector<uint32_t> Quadrants() {
    std::vector<uint32_t> p(64);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            p[y * 8 + x] = 0xFF000000 | (y < 4 ? (x < 4 ? kRed : kGreen) : (x < 4 ? kBlue : kWhite));
        }
    }
    return p;
}

// 9 x 9: a 3-pixel red border around a green middle.
std::vector<uint32_t> Frame() {
    std::vector<uint32_t> p(81);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            bool middle = x >= 3 && x < 6 && y >= 3 && y < 6;
            p[y * 9 + x] = 0xFF000000 | (middle ? kGreen : kRed);
        }
    }
    return p;
}

// 12 x 12 for the centre-preserving mode: the centre (4,4)-(8,8) green,
// left of it red, right of it blue, above and below white.
std::vector<uint32_t> Target() {
    std::vector<uint32_t> p(144);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            uint32_t c = kWhite;
            if (y >= 4 && y < 8) c = x < 4 ? kRed : (x < 8 ? kGreen : kBlue);
            p[y * 12 + x] = 0xFF000000 | c;
        }
    }
    return p;
}

class RenderImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write(L"quad.png", uitest::EncodePng(8, 8, Quadrants()));
        Write(L"frame.png", uitest::EncodePng(9, 9, Frame()));
        Write(L"target.png", uitest::EncodePng(12, 12, Target()));
        Write(L"white.png", uitest::SolidPng(4, 4, 0xFFFFFFFF));
        Write(L"green10.png", uitest::SolidPng(10, 10, 0xFF00FF00));
        Write(L"wide.png", uitest::SolidPng(20, 10, 0xFF00FF00));
        Write(L"halfred.png", uitest::SolidPng(4, 4, 0x80FF0000));
        // Two columns each: red then blue; two rows each: red then blue.
        Write(L"htile.png", uitest::EncodePng(4, 1, {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF}));
        Write(L"vtile.png", uitest::EncodePng(1, 4, {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF}));
        Write(L"magenta.png", uitest::EncodePng(2, 1, {0xFFFF00FF, 0xFF00FF00}));
        uitest::UseFolder(folder_.path());
    }
    void TearDown() override { uitest::UseFolder(L""); }

    void Write(const wchar_t* name, const std::string& bytes) {
        testsupport::WriteFileBytes(folder_.File(name), bytes);
    }

    // Draws onto `canvas` with the item rectangle and the whole canvas as
    // paint rectangle.
    void Draw(Canvas& canvas, const RECT& item, const wchar_t* image, const wchar_t* modifier = nullptr) {
        ASSERT_TRUE(CSkinRender::DrawSkinImage(canvas.dc(), &host_, item, canvas.bounds(), image, modifier));
    }

    testsupport::TempFolder folder_;
    uitest::TestRenderHost host_;
};

TEST_F(RenderImageTest, APlainNameIsStretchedOverTheItem) {
    Canvas canvas(40, 40, kBackground);
    Draw(canvas, {10, 10, 26, 26}, L"quad.png");
    EXPECT_EQ(kRed, canvas.Rgb(11, 11));
    EXPECT_EQ(kGreen, canvas.Rgb(24, 11));
    EXPECT_EQ(kBlue, canvas.Rgb(11, 24));
    EXPECT_EQ(kWhite, canvas.Rgb(24, 24));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(9, 9));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(26, 26));
}

TEST_F(RenderImageTest, DestIsRelativeToTheItemAndCutAtItsRightAndBottom) {
    Canvas canvas(220, 100, kBackground);
    Draw(canvas, {100, 50, 200, 80}, L"file='quad.png' dest='0,4,16,20'");
    EXPECT_EQ(kRed, canvas.Rgb(100, 54));
    EXPECT_EQ(kWhite, canvas.Rgb(115, 69));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(100, 53));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(116, 60));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(110, 70));

    canvas.Fill(kBackground);
    Draw(canvas, {100, 50, 200, 80}, L"file='white.png' dest='90,20,130,60'");
    EXPECT_EQ(kWhite, canvas.Rgb(199, 79));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(200, 79));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(199, 80));

    canvas.Fill(kBackground);
    Draw(canvas, {100, 50, 200, 80}, L"file='white.png' rdest='-10,-10,0,0'");
    EXPECT_EQ(kWhite, canvas.Rgb(190, 70));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(189, 69));
}

TEST_F(RenderImageTest, SourcePicksPartOfTheImageClippedToIt) {
    Canvas canvas(40, 40, kBackground);
    Draw(canvas, {0, 0, 20, 20}, L"file='quad.png' source='4,0,8,4'");
    for (POINT p : {POINT{0, 0}, POINT{19, 0}, POINT{0, 19}, POINT{19, 19}, POINT{10, 10}}) {
        EXPECT_EQ(kGreen, canvas.Rgb(p.x, p.y));
    }
    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 20, 20}, L"file='quad.png' source='4,4,189,49'");
    for (POINT p : {POINT{0, 0}, POINT{19, 19}, POINT{10, 10}}) EXPECT_EQ(kWhite, canvas.Rgb(p.x, p.y));
}

TEST_F(RenderImageTest, NinePartCornersKeepTheirSizeWhenScaled) {
    Canvas canvas(40, 40, kBackground);
    Draw(canvas, {0, 0, 30, 30}, L"file='frame.png' corner='3,3,3,3'");
    struct Probe {
        int x, y;
        uint32_t rgb;
    } probes[] = {
        {0, 0, kRed},    {2, 2, kRed},     {27, 27, kRed},  {29, 29, kRed},  {29, 0, kRed},
        {15, 2, kRed},   {2, 15, kRed},    {27, 15, kRed},  {15, 27, kRed},  {3, 3, kGreen},
        {26, 26, kGreen}, {15, 15, kGreen}, {30, 30, kBackgroundRgb},
    };
    for (const Probe& p : probes) EXPECT_EQ(p.rgb, canvas.Rgb(p.x, p.y)) << p.x << "," << p.y;
}

TEST_F(RenderImageTest, HoleLeavesTheMiddleUntouched) {
    Canvas canvas(40, 40, kBackground);
    Draw(canvas, {0, 0, 30, 30}, L"file='frame.png' corner='3,3,3,3' hole='true'");
    EXPECT_EQ(kRed, canvas.Rgb(1, 1));
    EXPECT_EQ(kRed, canvas.Rgb(15, 28));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(3, 3));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(15, 15));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(26, 26));
}

TEST_F(RenderImageTest, FadeBlendsAnOpaqueImage) {
    Canvas canvas(10, 10, 0xFF000000);
    Draw(canvas, {0, 0, 10, 10}, L"file='white.png' fade='128'");
    uint32_t c = canvas.At(5, 5);
    EXPECT_NEAR(128, uitest::Red(c), 2);
    EXPECT_NEAR(128, uitest::Blue(c), 2);
    canvas.Fill(0xFF000000);
    Draw(canvas, {0, 0, 10, 10}, L"file='white.png' fade='0'");
    EXPECT_EQ(0u, canvas.Rgb(5, 5));
}

TEST_F(RenderImageTest, PerPixelAlphaIsBlended) {
    Canvas canvas(10, 10, 0xFF000000);
    Draw(canvas, {0, 0, 10, 10}, L"halfred.png");
    uint32_t c = canvas.At(5, 5);
    EXPECT_NEAR(128, uitest::Red(c), 2);
    EXPECT_EQ(0, uitest::Green(c));
}

TEST_F(RenderImageTest, TilingRepeatsTheMiddleAndCropsTheLastTile) {
    Canvas canvas(20, 20, kBackground);
    Draw(canvas, {0, 0, 10, 3}, L"file='htile.png' xtiled='true'");
    const uint32_t row[10] = {kRed, kRed, kBlue, kBlue, kRed, kRed, kBlue, kBlue, kRed, kRed};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(row[x], canvas.Rgb(x, 0)) << x;
        EXPECT_EQ(row[x], canvas.Rgb(x, 2)) << x << " (stretched vertically)";
    }
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(10, 0));

    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 3, 10}, L"file='vtile.png' ytiled='true'");
    for (int y = 0; y < 10; ++y) EXPECT_EQ(row[y], canvas.Rgb(1, y)) << y;

    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 20, 20}, L"file='quad.png' xtiled='true' ytiled='true'");
    EXPECT_EQ(kRed, canvas.Rgb(0, 0));
    EXPECT_EQ(kWhite, canvas.Rgb(7, 7));
    EXPECT_EQ(kRed, canvas.Rgb(8, 8));
    EXPECT_EQ(kGreen, canvas.Rgb(12, 16));
    EXPECT_EQ(kRed, canvas.Rgb(19, 19)) << "the last tiles are cropped, not scaled";
}

TEST_F(RenderImageTest, TilesOutsideThePaintRectangleAreNotDrawn) {
    Canvas canvas(20, 4, kBackground);
    RECT paint = {10, 0, 20, 4};
    ASSERT_TRUE(CSkinRender::DrawSkinImage(canvas.dc(), &host_, {-100000000, 0, 20, 4}, paint,
                                           L"file='htile.png' xtiled='true'"));
    // Tiles are tested against the paint rectangle, not clipped to it: the
    // tile from 8 to 12 is drawn whole, the ones before it not at all.
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(7, 0));
    EXPECT_EQ(kRed, canvas.Rgb(8, 0));
    EXPECT_EQ(kBlue, canvas.Rgb(10, 0));
}

TEST_F(RenderImageTest, MaskColourIsDrawnTransparent) {
    Canvas canvas(10, 10, kBackground);
    Draw(canvas, {0, 0, 2, 1}, L"file='magenta.png' mask='#FFFF00FF'");
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(0, 0));
    EXPECT_EQ(kGreen, canvas.Rgb(1, 0));
}

TEST_F(RenderImageTest, StretchFalseCentresOrKeepsTheAspectRatio) {
    Canvas canvas(40, 40, kBackground);
    Draw(canvas, {0, 0, 30, 30}, L"file='green10.png' stretch='false' center='true'");
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(9, 9));
    EXPECT_EQ(kGreen, canvas.Rgb(10, 10));
    EXPECT_EQ(kGreen, canvas.Rgb(19, 19));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(20, 20));

    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 6, 6}, L"file='green10.png' stretch='false' center='true'");
    EXPECT_EQ(kGreen, canvas.Rgb(0, 0)) << "an item smaller than the image stretches it";
    EXPECT_EQ(kGreen, canvas.Rgb(5, 5));

    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 20, 20}, L"file='wide.png' stretch='false'");
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(10, 4));
    EXPECT_EQ(kGreen, canvas.Rgb(0, 5));
    EXPECT_EQ(kGreen, canvas.Rgb(19, 14));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(10, 15));
}

TEST_F(RenderImageTest, CenterRectKeepsTheCentreUnscaled) {
    Canvas canvas(40, 20, kBackground);
    Draw(canvas, {0, 0, 30, 12}, L"file='target.png' centerrect='4,4,8,8'");
    // Horizontally the centre lands at 0 + (30 - 4) * 4 / 8 = 13, vertically at 4.
    EXPECT_EQ(kGreen, canvas.Rgb(13, 4));
    EXPECT_EQ(kGreen, canvas.Rgb(16, 7));
    EXPECT_EQ(kRed, canvas.Rgb(9, 5)) << "4 pixels of the left margin";
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(8, 5));
    EXPECT_EQ(kBlue, canvas.Rgb(20, 5));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(21, 5));
    EXPECT_EQ(kWhite, canvas.Rgb(14, 0));
    EXPECT_EQ(kWhite, canvas.Rgb(14, 11));
    EXPECT_EQ(kWhite, canvas.Rgb(9, 0)) << "corner pieces";

    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 30, 12}, L"file='target.png' centerrect='0,4,12,8'");
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(14, 5)) << "both horizontal margins 0: nothing drawn";
}

TEST_F(RenderImageTest, RoundCornersKeepWhatWasOnScreenOutsideTheShape) {
    Canvas canvas(20, 20, 0xFF000000);
    Draw(canvas, {0, 0, 20, 20}, L"file='white.png' roundcorner='6,6'");
    EXPECT_EQ(0u, canvas.Rgb(0, 0));
    EXPECT_EQ(0u, canvas.Rgb(19, 19));
    EXPECT_EQ(0u, canvas.Rgb(0, 19));
    EXPECT_EQ(kWhite, canvas.Rgb(10, 10));
    // Straight edges between the arcs (anti-aliasing may soften them a little).
    EXPECT_GT(uitest::Red(canvas.Rgb(10, 0)), 200);
    EXPECT_GT(uitest::Red(canvas.Rgb(0, 10)), 200);
    EXPECT_GT(uitest::Red(canvas.Rgb(19, 10)), 200);
}

TEST_F(RenderImageTest, PaintRectangleLimitsTheSingleBlit) {
    Canvas canvas(16, 16, kBackground);
    ASSERT_TRUE(CSkinRender::DrawSkinImage(canvas.dc(), &host_, {0, 0, 8, 8}, {4, 0, 16, 16}, L"quad.png"));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(0, 0));
    EXPECT_EQ(kGreen, canvas.Rgb(4, 0));
    EXPECT_EQ(kWhite, canvas.Rgb(7, 7));

    canvas.Fill(kBackground);
    ASSERT_TRUE(CSkinRender::DrawSkinImage(canvas.dc(), &host_, {0, 0, 8, 8}, {8, 8, 16, 16}, L"quad.png"));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(7, 7)) << "an item outside the paint rectangle draws nothing";
}

TEST_F(RenderImageTest, MissingImagesDrawNothing) {
    Canvas canvas(10, 10, kBackground);
    Draw(canvas, {0, 0, 10, 10}, L"file='pro_flash_bk.png' corner='0,0,0,0' dest='0,0,5,10' source='0,0,5,10'");
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(2, 2));
    ImageAttributes missing;
    missing.name = L"pro_flash_fore.png";
    missing.dest = {0, 0, 10, 10};
    EXPECT_FALSE(CSkinRender::DrawNamedImage(canvas.dc(), &host_, {0, 0, 10, 10}, {0, 0, 10, 10}, missing));
    ImageAttributes unnamed;
    EXPECT_FALSE(CSkinRender::DrawNamedImage(canvas.dc(), &host_, {0, 0, 10, 10}, {0, 0, 10, 10}, unnamed));
    EXPECT_FALSE(CSkinRender::DrawSkinImage(nullptr, &host_, {0, 0, 1, 1}, {0, 0, 1, 1}, L"quad.png"));
    EXPECT_FALSE(CSkinRender::DrawSkinImage(canvas.dc(), nullptr, {0, 0, 1, 1}, {0, 0, 1, 1}, L"quad.png"));
}

// Malformed strings are read as far as they are well formed.
TEST_F(RenderImageTest, MalformedImageStrings) {
    struct Case {
        const wchar_t* image;
        uint32_t at0x0;  // pixel (0,0) and (15,15) of a 16 x 16 item
        uint32_t at15x15;
    } cases[] = {
        {L"file='quad.png' unknown='5' dest='0,0,8,8'", kRed, kBackgroundRgb},
        {L"file='quad.png' dest='0,0,8,8", kRed, kWhite},          // unbalanced: dest never applies
        {L"file='quad.png", kBackgroundRgb, kBackgroundRgb},      // the whole string is no image name
        {L"file='quad.png' dest='a,b,c'", kBackgroundRgb, kBackgroundRgb},  // all 0: empty
        {L"file='quad.png' dest='0,0,99999999999999,99999999999'", kRed, kWhite},
        {L"  file = 'quad.png'   fade='255' ", kRed, kWhite},
        {L"file='quad.png'x dest='0,0,8,8'", kRed, kWhite},         // no blank after the quote
        {L"file='' dest='0,0,8,8'", kBackgroundRgb, kBackgroundRgb},
        {L"dest='0,0,8,8' source='0,0,4,4' file='quad.png'", kRed, kBackgroundRgb},
        {L"file='quad.png' source='-4,-4,4,4'", kBackgroundRgb, kBackgroundRgb},
        {L"file='frame.png' corner='-3,-3,99,99' hole='true' xtiled='true'", kBackgroundRgb, kBackgroundRgb},
        {L"'''''====", kBackgroundRgb, kBackgroundRgb},
        {L"=", kBackgroundRgb, kBackgroundRgb},
        {L"", kBackgroundRgb, kBackgroundRgb},
    };
    for (const Case& c : cases) {
        Canvas canvas(20, 20, kBackground);
        Draw(canvas, {0, 0, 16, 16}, c.image);
        EXPECT_EQ(c.at0x0, canvas.Rgb(0, 0)) << testing::PrintToString(std::wstring(c.image));
        EXPECT_EQ(c.at15x15, canvas.Rgb(15, 15)) << testing::PrintToString(std::wstring(c.image));
        EXPECT_EQ(kBackgroundRgb, canvas.Rgb(17, 17));
    }
    Canvas canvas(20, 20, kBackground);
    EXPECT_TRUE(CSkinRender::DrawSkinImage(canvas.dc(), &host_, {0, 0, 16, 16}, canvas.bounds(), nullptr, nullptr));
}

TEST_F(RenderImageTest, SeveralFilesDrawInSequenceAndTheModifierOverrides) {
    Canvas canvas(20, 20, kBackground);
    Draw(canvas, {0, 0, 16, 16}, L"file='white.png' file='quad.png' dest='0,0,8,8'");
    EXPECT_EQ(kWhite, canvas.Rgb(15, 15)) << "the first file over the whole item";
    EXPECT_EQ(kRed, canvas.Rgb(0, 0)) << "the second over its dest";
    EXPECT_EQ(kWhite, canvas.Rgb(7, 7));

    canvas.Fill(kBackground);
    Draw(canvas, {0, 0, 16, 16}, L"file='quad.png'", L"dest='0,0,8,8' ");
    EXPECT_EQ(kRed, canvas.Rgb(0, 0));
    EXPECT_EQ(kBackgroundRgb, canvas.Rgb(15, 15));
}

// What the parser hands over for each image, without drawing.
TEST(ImageStringParser, VisitsEveryImageWithTheAttributesInEffect) {
    struct Visit {
        std::wstring name, type;
        RECT dest;
        BYTE fade;
        bool hole;
        DWORD mask;
    };
    auto collect = [](const wchar_t* image, const wchar_t* modifier) {
        std::vector<Visit> visits;
        CSkinRender::ParseImageString(
            {100, 50, 200, 80}, image, modifier,
            [](const ImageAttributes& a, void* context) {
                static_cast<std::vector<Visit>*>(context)->push_back(
                    {a.name.Data(), a.resourceType.Data(), a.dest, a.fade, a.hole, a.mask});
            },
            &visits);
        return visits;
    };
    auto one = collect(L"btn_free_000.png", nullptr);
    ASSERT_EQ(1u, one.size());
    EXPECT_EQ(L"btn_free_000.png", one[0].name);
    EXPECT_EQ(100, one[0].dest.left);
    EXPECT_EQ(80, one[0].dest.bottom);

    auto two = collect(L"file='a.png' fade='300' file='b.png' hole='true' mask='ff00ff'", nullptr);
    ASSERT_EQ(2u, two.size());
    EXPECT_EQ(L"a.png", two[0].name);
    EXPECT_EQ(44, two[0].fade) << "fade is kept in 8 bits";
    EXPECT_FALSE(two[0].hole);
    EXPECT_EQ(L"b.png", two[1].name);
    EXPECT_TRUE(two[1].hole);
    EXPECT_EQ(0xFF00FFu, two[1].mask);

    // "res" starts no image of its own, "restype" does: the second "res"
    // draws the first with its type.
    auto typed = collect(L"res='7' res='6' restype='PNG' res='8'", nullptr);
    ASSERT_EQ(2u, typed.size());
    EXPECT_EQ(L"6", typed[0].name);
    EXPECT_EQ(L"PNG", typed[0].type);
    EXPECT_EQ(L"8", typed[1].name);
    EXPECT_EQ(L"PNG", typed[1].type);

    auto modified = collect(L"file='a.png' dest='0,0,10,10'", L"file='b.png' fade='9'");
    ASSERT_EQ(1u, modified.size()) << "each string counts its own images";
    EXPECT_EQ(L"b.png", modified[0].name);
    EXPECT_EQ(110, modified[0].dest.right);
    EXPECT_EQ(9, modified[0].fade);

    // The progress bar's four items, separated by a blank, nine tabs and
    // three blanks each.
    std::wstring gap = L" \t\t\t\t\t\t\t\t\t   ";
    std::wstring bar = L"file='progress_bk.png' dest='0,0,100,30'" + gap +
                       L"file='progress_fore.png' corner='0,10,50,10' dest='0,0,50,30'" + gap +
                       L"file='pro_flash_bk.png' corner='0,0,0,0' dest='0,0,3,30' source='77,0,80,30'" + gap +
                       L"file='pro_flash_fore.png' corner='0,0,0,0' dest='0,0,0,30' source='0,0,0,30'" + gap;
    auto items = collect(bar.c_str(), nullptr);
    ASSERT_EQ(4u, items.size());
    EXPECT_EQ(L"pro_flash_fore.png", items[3].name);
}

// The progress page's background string on the real skin images.
TEST(ProgressBarString, DrawsTheTrackTheFillAndSkipsTheMissingLights) {
    ASSERT_TRUE(SkinUI::CSkinResources::LoadEmbeddedZip(150));
    uitest::TestRenderHost host;
    Canvas canvas(500, 30, 0xFFFFFFFF);
    std::wstring gap = L" \t\t\t\t\t\t\t\t\t   ";
    SkinUI::UIString bar;
    bar.Format((L"file='progress_bk.png' dest='0,0,%d,30'" + gap +
                L"file='progress_fore.png' corner='0,10,%d,10' dest='0,0,%d,30'" + gap +
                L"file='pro_flash_bk.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30'" + gap +
                L"file='pro_flash_fore.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30'" + gap)
                   .c_str(),
               500, 110, 250, 120, 200, 0, 80, 0, 200, 30, 230);
    ASSERT_TRUE(CSkinRender::DrawSkinImage(canvas.dc(), &host, {0, 0, 500, 30}, canvas.bounds(), bar));
    uint32_t fill = canvas.Rgb(100, 14), track = canvas.Rgb(400, 14), above = canvas.Rgb(100, 2);
    EXPECT_GT(uitest::Blue(fill), uitest::Red(fill) + 80) << std::hex << fill;
    EXPECT_GT(uitest::Red(track), 200) << std::hex << track;
    EXPECT_LT(uitest::Red(track), 240) << std::hex << track;
    EXPECT_EQ(0xFFFFFFu, above);
    SkinUI::CSkinResources::ReleaseEmbeddedZip();
}

}  // namespace
