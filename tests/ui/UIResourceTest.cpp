// Skin images and the embedded archive: decoding, premultiplying, masking,
// where images are looked up, the image cache, and the archive that the
// build puts into this test program and into setup.exe.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ui/UIResource.h"
#include "ui/UIZip.h"

using SkinUI::CSkinImageCache;
using SkinUI::CSkinResources;
using SkinUI::SkinImage;

namespace {

constexpr UINT kSkinArchiveId = 150;

std::unique_ptr<SkinImage> Decode(const std::string& png, DWORD mask = 0) {
    return CSkinResources::DecodeSkinImage(reinterpret_cast<const BYTE*>(png.data()), png.size(), mask);
}

TEST(SkinImageDecode, PremultipliesAndMarksAlpha) {
    struct Case {
        uint32_t pixel;     // straight ARGB in the PNG
        uint32_t stored;    // premultiplied in the bitmap
        bool hasAlpha;
    } cases[] = {
        {0x80FF0000, 0x80800000, true},  // alpha 128, red 255: red 255 * 128 / 255 = 128
        {0xFF102030, 0xFF102030, false},
        {0x00FFFFFF, 0x00000000, true},
        {0x40C08040, 0x40302010, true},
    };
    for (const Case& c : cases) {
        auto image = Decode(uitest::SolidPng(3, 2, c.pixel));
        ASSERT_TRUE(image) << std::hex << c.pixel;
        EXPECT_EQ(3, image->width);
        EXPECT_EQ(2, image->height);
        EXPECT_EQ(c.stored, image->pixels[5]) << std::hex << c.pixel;
        EXPECT_EQ(c.hasAlpha, image->hasAlpha) << std::hex << c.pixel;
        BITMAP info = {};
        ASSERT_TRUE(::GetObjectW(image->bitmap.get(), sizeof(info), &info));
        EXPECT_EQ(32, info.bmBitsPixel);
    }
}

TEST(SkinImageDecode, TheMaskColourBecomesTransparent) {
    std::vector<uint32_t> pixels = {0xFFFF00FF, 0xFF00FF00, 0xFFFF00FF, 0xFF000000};
    auto masked = Decode(uitest::EncodePng(2, 2, pixels), 0xFFFF00FF);
    ASSERT_TRUE(masked);
    EXPECT_EQ(0u, masked->pixels[0]);
    EXPECT_EQ(0xFF00FF00u, masked->pixels[1]);
    EXPECT_EQ(0u, masked->pixels[2]);
    EXPECT_TRUE(masked->hasAlpha);
    EXPECT_EQ(0xFFFF00FFu, masked->mask);

    auto unmasked = Decode(uitest::EncodePng(2, 2, pixels), 0xFF123456);
    ASSERT_TRUE(unmasked);
    EXPECT_FALSE(unmasked->hasAlpha);
    EXPECT_EQ(0xFFFF00FFu, unmasked->pixels[0]);
}

TEST(SkinImageDecode, RefusesWhatIsNotAnImageOrTooLarge) {
    std::string png = uitest::SolidPng(4, 4, 0xFFFFFFFF);
    // A header claiming 100000 x 100000 pixels is refused before decoding.
    std::string huge = png;
    huge[16] = '\x00', huge[17] = '\x01', huge[18] = '\x86', huge[19] = '\xA0';
    huge[20] = '\x00', huge[21] = '\x01', huge[22] = '\x86', huge[23] = '\xA0';
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"text", "<Window />"},
        {"truncated", png.substr(0, png.size() / 2)},
        {"too many pixels", huge},
    };
    for (const Case& c : cases) EXPECT_FALSE(Decode(c.bytes)) << c.what;
}

class SkinImageLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteFileBytes(folder_.File(L"red.png"), uitest::SolidPng(2, 2, 0xFFFF0000));
        testsupport::WriteFileBytes(folder_.File(L"shadow.png"),
                                    uitest::EncodePng(2, 1, {0xFF000000, 0xFF808080}));
        testsupport::WriteFileBytes(folder_.File(L"broken.png"), "not a png");
        uitest::UseFolder(folder_.path());
    }
    void TearDown() override { uitest::UseFolder(L""); }

    testsupport::TempFolder folder_;
};

TEST_F(SkinImageLoadTest, FromTheFolderThenFromTheNameAsAPath) {
    auto red = CSkinResources::LoadSkinImage(L"red.png", nullptr, 0);
    ASSERT_TRUE(red);
    EXPECT_EQ(0xFFFF0000u, red->pixels[0]);
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"missing.png", nullptr, 0));
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"broken.png", nullptr, 0));
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"", nullptr, 0));

    testsupport::TempFolder elsewhere;
    testsupport::WriteFileBytes(elsewhere.File(L"blue.png"), uitest::SolidPng(1, 1, 0xFF0000FF));
    auto blue = CSkinResources::LoadSkinImage(elsewhere.File(L"blue.png").c_str(), nullptr, 0);
    ASSERT_TRUE(blue) << "an absolute path that is not in the skin folder";
    EXPECT_EQ(0xFF0000FFu, blue->pixels[0]);
}

TEST_F(SkinImageLoadTest, FromTheArchiveByNameWithoutCase) {
    uitest::ZipBuilder builder;
    builder.Add("btn_close000.png", uitest::SolidPng(25, 23, 0xFF00FF00));
    builder.Add("img/inner.png", uitest::SolidPng(1, 1, 0xFFFFFFFF), false);
    std::string archive = builder.Build();
    ASSERT_TRUE(CSkinResources::SetResourceZipMemory(archive.data(), static_cast<DWORD>(archive.size())));
    auto upper = CSkinResources::LoadSkinImage(L"BTN_CLOSE000.PNG", nullptr, 0);
    ASSERT_TRUE(upper);
    EXPECT_EQ(25, upper->width);
    EXPECT_EQ(23, upper->height);
    EXPECT_TRUE(CSkinResources::LoadSkinImage(L"img\\inner.png", nullptr, 0));
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"red.png", nullptr, 0)) << "the folder is not searched";
}

TEST_F(SkinImageLoadTest, FromAResourceOfThisProgram) {
    // The test program carries a PNG resource 200 of type "PNG" (a 16 x 16 image).
    auto image = CSkinResources::LoadSkinImage(L"200", L"PNG", 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(16, image->width);
    EXPECT_EQ(std::wstring(L"PNG"), image->resourceType.Data());
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"201", L"PNG", 0));

    CSkinImageCache cache;
    EXPECT_FALSE(cache.FindOrLoad(L"red.png", L"PNG", 0)) << "a resource image is named by its id";
    EXPECT_TRUE(cache.FindOrLoad(L"200", L"PNG", 0));
}

TEST_F(SkinImageLoadTest, TheCacheKeepsWhatTheFirstRequestLoaded) {
    CSkinImageCache cache;
    const SkinImage* masked = cache.FindOrLoad(L"shadow.png", nullptr, 0xFF000000);
    ASSERT_TRUE(masked);
    EXPECT_EQ(0u, masked->pixels[0]);
    EXPECT_EQ(masked, cache.FindOrLoad(L"shadow.png", nullptr, 0));
    EXPECT_EQ(masked, cache.Find(L"shadow.png"));
    EXPECT_EQ(masked, cache.Add(L"shadow.png", nullptr, 0));
    EXPECT_EQ(1, cache.Count());

    EXPECT_FALSE(cache.FindOrLoad(L"missing.png", nullptr, 0));
    EXPECT_EQ(1, cache.Count()) << "failures are not cached";
    cache.Clear();
    EXPECT_EQ(0, cache.Count());
    EXPECT_FALSE(cache.Find(L"shadow.png"));
}

TEST_F(SkinImageLoadTest, ThePathDefaultsToTheProgramFolderAndItsSkinFolder) {
    CSkinResources::SetResourcePath(L"");
    ASSERT_TRUE(CSkinResources::PrepareForWindow(SkinUI::SkinResourceKind::Files, L"skinfolder", L"", 0));
    EXPECT_EQ(testsupport::ProgramFolder() + L"\\skinfolder\\", CSkinResources::ResourcePath().Data());
    // Set once, the path stays.
    ASSERT_TRUE(CSkinResources::PrepareForWindow(SkinUI::SkinResourceKind::Files, L"other", L"", 0));
    EXPECT_EQ(testsupport::ProgramFolder() + L"\\skinfolder\\", CSkinResources::ResourcePath().Data());
    CSkinResources::SetResourcePath(L"C:\\skins/");
    EXPECT_EQ(std::wstring(L"C:\\skins/"), CSkinResources::ResourcePath().Data());
}

// ---- The embedded archive ----

class EmbeddedArchiveTest : public ::testing::Test {
protected:
    void TearDown() override {
        CSkinResources::SetResourceInstance(nullptr);
        CSkinResources::ReleaseEmbeddedZip();
        uitest::UseFolder(L"");
    }
    std::string Read(const wchar_t* name) {
        std::vector<BYTE> bytes;
        const wchar_t* error = nullptr;
        if (!CSkinResources::ReadSkinFile(name, bytes, &error)) return "<failed>";
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(EmbeddedArchiveTest, IsLoadedOnceAndServesBothSkins) {
    ASSERT_TRUE(CSkinResources::PrepareForWindow(SkinUI::SkinResourceKind::EmbeddedZip, L"no use", L"",
                                                 kSkinArchiveId));
    EXPECT_EQ(std::wstring(L"membuffer"), CSkinResources::ResourceZipName().Data());
    EXPECT_EQ(0u, Read(L"InstallPackages.xml").find("<?xml"));

    // A second window finds its skin in the archive already open, without
    // looking at the resources again.
    CSkinResources::SetResourceInstance(::GetModuleHandleW(L"kernel32.dll"));
    ASSERT_TRUE(CSkinResources::PrepareForWindow(SkinUI::SkinResourceKind::EmbeddedZip, L"", L"",
                                                 kSkinArchiveId));
    EXPECT_NE(std::string::npos, Read(L"MessageBox.xml").find("btn_cancel"));
    auto icon = CSkinResources::LoadSkinImage(L"common_tip_icon.png", nullptr, 0);
    ASSERT_TRUE(icon);
    EXPECT_EQ(29, icon->width);
}

TEST_F(EmbeddedArchiveTest, AMissingResourceFailsTheWindow) {
    CSkinResources::ReleaseEmbeddedZip();
    EXPECT_FALSE(CSkinResources::PrepareForWindow(SkinUI::SkinResourceKind::EmbeddedZip, L"", L"", 999));
    EXPECT_FALSE(CSkinResources::LoadEmbeddedZip(999));
}

TEST_F(EmbeddedArchiveTest, ReleasingItClosesTheSource) {
    ASSERT_TRUE(CSkinResources::LoadEmbeddedZip(kSkinArchiveId));
    CSkinResources::ReleaseEmbeddedZip();
    EXPECT_TRUE(CSkinResources::ResourceZipName().IsEmpty());
    ASSERT_TRUE(CSkinResources::LoadEmbeddedZip(kSkinArchiveId));
    EXPECT_EQ(0u, Read(L"MessageBox.xml").find("<?xml"));
}

// Every image the two skins name, at the size their layouts give it.
TEST_F(EmbeddedArchiveTest, HoldsEveryImageOfBothSkinsAtItsSize) {
    struct Case {
        const wchar_t* name;
        int width, height;
    } cases[] = {
        {L"bg_progress.png", 540, 313},      {L"install_0.png", 184, 44},
        {L"install_1.png", 184, 44},         {L"install_2.png", 184, 44},
        {L"opt_000.png", 16, 16},            {L"opt_001.png", 16, 16},
        {L"btn_agreement_000.png", 72, 11},  {L"btn_agreement_001.png", 72, 11},
        {L"btn_free_000.png", 77, 13},       {L"btn_free_001.png", 77, 13},
        {L"input.png", 30, 29},              {L"progress_bk.png", 500, 30},
        {L"progress_fore.png", 500, 30},     {L"btn_min000.png", 25, 23},
        {L"btn_min001.png", 25, 23},         {L"btn_min002.png", 25, 23},
        {L"btn_close000.png", 25, 23},       {L"btn_close001.png", 25, 23},
        {L"btn_close002.png", 25, 23},       {L"common_tip_icon.png", 29, 29},
        {L"public_btn_000.png", 60, 25},     {L"public_btn_001.png", 60, 25},
        {L"public_btn_002.png", 60, 25},     {L"public_btn1_000.png", 60, 25},
        {L"public_btn1_001.png", 60, 25},    {L"public_btn1_002.png", 60, 25},
        {L"shadow.png", 20, 20},
    };
    ASSERT_TRUE(CSkinResources::LoadEmbeddedZip(kSkinArchiveId));
    for (const Case& c : cases) {
        auto image = CSkinResources::LoadSkinImage(c.name, nullptr, 0);
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(c.width, image->width) << c.name;
        EXPECT_EQ(c.height, image->height) << c.name;
    }
    // The progress bar's moving lights are not part of the skin.
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"pro_flash_bk.png", nullptr, 0));
    EXPECT_FALSE(CSkinResources::LoadSkinImage(L"pro_flash_fore.png", nullptr, 0));
}

TEST(SetupProgram, CarriesTheSkinArchiveAsZipres150) {
    std::wstring setup = testsupport::ProgramFolder() + L"\\setup.exe";
    HMODULE module = ::LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(kSkinArchiveId), L"ZIPRES");
    ASSERT_TRUE(info);
    HGLOBAL handle = ::LoadResource(module, info);
    DWORD size = ::SizeofResource(module, info);
    const void* data = ::LockResource(handle);
    ASSERT_TRUE(data);
    std::string embedded(static_cast<const char*>(data), size);
    ::FreeLibrary(module);

    EXPECT_EQ(testsupport::ReadFileBytes(testsupport::ProgramFolder() + L"\\skinres\\skin.zip"), embedded);
    SkinUI::CSkinZip zip;
    ASSERT_TRUE(zip.OpenMemory(embedded.data(), embedded.size()));
    EXPECT_GE(zip.FindItem(L"InstallPackages.xml"), 0);
    EXPECT_GE(zip.FindItem(L"MessageBox.xml"), 0);
    EXPECT_GE(zip.FindItem(L"progress_fore.png"), 0);
}

}  // namespace
