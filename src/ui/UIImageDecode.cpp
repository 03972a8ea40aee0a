// Decoding skin images into premultiplied DIB sections, and the image cache.
#include <limits.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#include <stb_image.h>

#include "ui/UIResource.h"

namespace SkinUI {

namespace {

struct StbPixels {
    stbi_uc* pixels = nullptr;
    ~StbPixels() { stbi_image_free(pixels); }
};

bool StartsWithDigit(const wchar_t* name) { return name && *name >= L'0' && *name <= L'9'; }

}  // namespace

std::unique_ptr<SkinImage> CSkinResources::DecodeSkinImage(const BYTE* data, size_t size,
                                                           DWORD mask) {
    if (!data || size == 0 || size > INT_MAX) return nullptr;
    // Refuse absurd sizes from the header before any pixel memory is taken.
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels) ||
        width <= 0 || height <= 0 ||
        static_cast<unsigned long long>(width) * height > kMaxImagePixels) {
        return nullptr;
    }
    StbPixels decoded;
    decoded.pixels = stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
    if (!decoded.pixels) return nullptr;

    DibSection dib(nullptr, width, height);
    if (!dib.valid()) return nullptr;
    auto image = std::make_unique<SkinImage>();
    image->width = width;
    image->height = height;
    image->mask = mask;
    const stbi_uc* in = decoded.pixels;
    DWORD* out = dib.pixels();
    size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i, in += 4) {
        DWORD r = in[0], g = in[1], b = in[2], a = in[3];
        if (a != 255) {
            r = r * a / 255;
            g = g * a / 255;
            b = b * a / 255;
            image->hasAlpha = true;
        }
        DWORD pixel = (a << 24) | (r << 16) | (g << 8) | b;
        if (pixel == mask) {
            pixel = 0;
            image->hasAlpha = true;
        }
        out[i] = pixel;
    }
    image->pixels = dib.pixels();
    image->bitmap.reset(dib.release());
    return image;
}

CSkinImageCache::~CSkinImageCache() { Clear(); }

void CSkinImageCache::Clear() {
    for (int i = 0; i < images_.Count(); ++i) {
        delete static_cast<SkinImage*>(images_.Lookup(images_.KeyAt(i), false));
    }
    images_.Rebuild(UIStringMap::kDefaultBuckets);
}

const SkinImage* CSkinImageCache::Find(const wchar_t* name) {
    return static_cast<const SkinImage*>(images_.Lookup(name, true));
}

const SkinImage* CSkinImageCache::FindOrLoad(const wchar_t* name, const wchar_t* resourceType,
                                             DWORD mask) {
    return Add(name, resourceType, mask);  // a cached name keeps its image
}

const SkinImage* CSkinImageCache::Add(const wchar_t* name, const wchar_t* resourceType, DWORD mask) {
    if (!name || !*name) return nullptr;
    if (const SkinImage* cached = Find(name)) return cached;
    // A resource image is named by its decimal id.
    if (resourceType && *resourceType && !StartsWithDigit(name)) return nullptr;
    std::unique_ptr<SkinImage> image = CSkinResources::LoadSkinImage(name, resourceType, mask);
    if (!image || !images_.Add(name, image.get())) return nullptr;
    return image.release();
}

}  // namespace SkinUI
