#include "ui/UIGdi.h"

namespace SkinUI {

DibSection::DibSection(HDC reference, int width, int height) {
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap_.valid() || !bits) {
        bitmap_.reset();
        return;
    }
    pixels_ = static_cast<DWORD*>(bits);
    width_ = width;
    height_ = height;
}

}  // namespace SkinUI
