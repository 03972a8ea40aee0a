#include "UiTestSupport.h"

#include <zlib.h>

namespace uitest {

namespace {

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put32BigEndian(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void PngChunk(std::string& out, const char* type, const std::string& data) {
    Put32BigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    Put32BigEndian(out, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

std::string RawDeflate(const std::string& in) {
    z_stream s = {};
    deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, static_cast<uLong>(in.size())), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

uint32_t Crc(const std::string& data) {
    return crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
}

}  // namespace

std::string EncodePng(int width, int height, const std::vector<uint32_t>& argb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < width; ++x) {
            uint32_t c = argb[static_cast<size_t>(y) * width + x];
            raw += static_cast<char>(Red(c));
            raw += static_cast<char>(Green(c));
            raw += static_cast<char>(Blue(c));
            raw += static_cast<char>(Alpha(c));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
             reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
    packed.resize(packedSize);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    Put32BigEndian(header, static_cast<uint32_t>(width));
    Put32BigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IDAT", packed);
    PngChunk(png, "IEND", "");
    return png;
}

std::string SolidPng(int width, int height, uint32_t argb) {
    return EncodePng(width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb));
}

void ZipBuilder::Add(const std::string& name, const std::string& content, bool deflate) {
    entries_.push_back({name, content, deflate});
}

std::string ZipBuilder::Build() const {
    std::string out, directory;
    for (const Entry& e : entries_) {
        std::string data = e.deflate ? RawDeflate(e.content) : e.content;
        uint32_t offset = static_cast<uint32_t>(out.size());
        uint16_t method = e.deflate ? 8 : 0;
        Put32(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, method);
        Put32(out, 0);  // time and date
        Put32(out, Crc(e.content));
        Put32(out, static_cast<uint32_t>(data.size()));
        Put32(out, static_cast<uint32_t>(e.content.size()));
        Put16(out, static_cast<unsigned>(e.name.size()));
        Put16(out, 0);
        out += e.name;
        out += data;

        Put32(directory, 0x02014b50);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, 0);
        Put16(directory, method);
        Put32(directory, 0);
        Put32(directory, Crc(e.content));
        Put32(directory, static_cast<uint32_t>(data.size()));
        Put32(directory, static_cast<uint32_t>(e.content.size()));
        Put16(directory, static_cast<unsigned>(e.name.size()));
        Put32(directory, 0);  // extra and comment lengths
        Put32(directory, 0);  // disk, internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, offset);
        directory += e.name;
    }
    uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    out += directory;
    Put32(out, 0x06054b50);
    Put32(out, 0);
    Put16(out, static_cast<unsigned>(entries_.size()));
    Put16(out, static_cast<unsigned>(entries_.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

Canvas::Canvas(int width, int height, uint32_t fill)
    : dib_(nullptr, width, height), canvas_(nullptr, dib_.bitmap()) {
    Fill(fill);
}

uint32_t Canvas::At(int x, int y) const {
    ::GdiFlush();
    return dib_.row(y)[x];
}

void Canvas::Fill(uint32_t argb) {
    ::GdiFlush();
    for (int y = 0; y < dib_.height(); ++y) {
        for (int x = 0; x < dib_.width(); ++x) dib_.row(y)[x] = argb;
    }
}

TestRenderHost::TestRenderHost() {
    LOGFONTW lf = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lf.lfCharSet = DEFAULT_CHARSET;
    defaultFont_ = ::CreateFontIndirectW(&lf);
}

TestRenderHost::~TestRenderHost() {
    for (const Font& f : fonts_) ::DeleteObject(f.handle);
    ::DeleteObject(defaultFont_);
}

const SkinUI::SkinImage* TestRenderHost::FindOrLoadImage(const wchar_t* name,
                                                         const wchar_t* resourceType, DWORD mask) {
    ++imageRequests;
    return images.FindOrLoad(name, resourceType, mask);
}

HFONT TestRenderHost::FontByIndex(int index) {
    if (index < 0 || index >= static_cast<int>(fonts_.size())) return defaultFont_;
    return fonts_[index].handle;
}

HFONT TestRenderHost::FindFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) {
    for (const Font& f : fonts_) {
        if (f.face == face && f.size == size && f.bold == bold && f.underline == underline &&
            f.italic == italic) {
            return f.handle;
        }
    }
    return nullptr;
}

HFONT TestRenderHost::AddFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) {
    LOGFONTW lf = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfHeight = -size;
    if (bold) lf.lfWeight += FW_BOLD;
    lf.lfUnderline = underline;
    lf.lfItalic = italic;
    HFONT font = ::CreateFontIndirectW(&lf);
    if (font) fonts_.push_back({font, face, size, bold, underline, italic});
    return font;
}

void UseFolder(const std::wstring& folder) {
    SkinUI::CSkinResources::SetResourceZipFile(L"");
    SkinUI::CSkinResources::SetResourcePath(folder.c_str());
}

}  // namespace uitest
