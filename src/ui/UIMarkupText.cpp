// Text with the small markup of labels.
//
// Tags stand between "<" and ">" or between "{" and "}", and are recognised
// when a lower-case letter follows the opening bracket and a blank or the
// closing bracket follows the letter:
//   <a link> </a>  link          <b> </b>  bold          <c #ARGB> </c>  colour
//   <f 1> or <f face 12 bold> </f>  font                 <i name count index>  image
//   <n>  line break              <p px> </p>  paragraph  <r> </r>  raw text
//   <s> </s>  selected           <u> </u>  underline     <x px>  move right
//   <y px>  line height
// "<{>" and "<}>" give a literal brace, "{<}" and "{>}" a literal angle
// bracket. Text flows from the rectangle's top-left; runs on a line share its
// top. With DT_WORDBREAK lines wrap at blanks (a word wider than the line
// breaks between characters).
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "ui/UIGdi.h"
#include "ui/UIRender.h"
#include "ui/UIResource.h"

namespace SkinUI {

namespace {

constexpr size_t kMaxNesting = 64;
constexpr int kDefaultFaceSize = 10;
const wchar_t kEllipsis[] = L"...";

bool IsTagLetter(wchar_t c) { return c >= L'a' && c <= L'z'; }

struct FontDescription {
    wchar_t face[LF_FACESIZE] = {};
    int size = 0;
    bool bold = false;
    bool underline = false;
    bool italic = false;
};

FontDescription Describe(HFONT font) {
    FontDescription d;
    LOGFONTW lf = {};
    if (font && ::GetObjectW(font, sizeof(lf), &lf)) {
        wcsncpy(d.face, lf.lfFaceName, LF_FACESIZE - 1);
        d.size = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
        d.bold = lf.lfWeight >= FW_BOLD;
        d.underline = lf.lfUnderline != 0;
        d.italic = lf.lfItalic != 0;
    }
    return d;
}

class MarkupLayout {
public:
    MarkupLayout(HDC dc, IRenderHostUI* host, const RECT& box, DWORD color, RECT* links,
                 UIString* linkTexts, int maxLinks, UINT style)
        : dc_(dc), host_(host), box_(box), links_(links), linkTexts_(linkTexts),
          maxLinks_(links ? maxLinks : 0), style_(style),
          measureOnly_((style & DT_CALCRECT) != 0), restoreFont_(dc, host->FontByIndex(-1)) {
        colors_.push_back(color);
        fonts_.push_back(host->FontByIndex(-1));
        SelectFont(fonts_.back());
        x_ = box_.left;
        y_ = box_.top;
        lineHeight_ = fontHeight_;
    }

    void Run(const wchar_t* text) {
        size_t i = 0;
        while (text[i] && !stopped_) {
            if (raw_) {
                if (StartsWith(text + i, L"</r>") || StartsWith(text + i, L"{/r}")) {
                    raw_ = false;
                    i += 4;
                } else {
                    size_t end = i + 1;
                    while (text[end] && text[end] != L'<' && text[end] != L'{') ++end;
                    Emit(text + i, static_cast<int>(end - i));
                    i = end;
                }
                continue;
            }
            wchar_t c = text[i];
            if (c == L'<' || c == L'{') {
                i = Bracket(text, i);
            } else if (c == L'\n') {
                if (!(style_ & DT_SINGLELINE)) NewLine();
                ++i;
            } else if (c == L'\r') {
                ++i;
            } else {
                size_t end = i;
                bool blanks = c == L' ';
                while (text[end] && text[end] != L'<' && text[end] != L'{' && text[end] != L'\n' &&
                       text[end] != L'\r' && (text[end] == L' ') == blanks) {
                    ++end;
                }
                Emit(text + i, static_cast<int>(end - i));
                i = end;
            }
        }
    }

    RECT Extent() const {
        int right = std::max(maxRight_, x_);
        return {box_.left, box_.top, right, y_ + lineHeight_};
    }
    int LinkCount() const { return linksFound_; }

private:
    static bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
        return wcsncmp(text, prefix, wcslen(prefix)) == 0;
    }

    // Handles a "<" or "{" at `i`: a literal bracket, a closing tag or an
    // opening tag; returns the index after what was consumed.
    size_t Bracket(const wchar_t* text, size_t i) {
        wchar_t open = text[i], close = open == L'<' ? L'>' : L'}';
        wchar_t next = text[i + 1];
        bool escapedBrace = open == L'<' && (next == L'{' || next == L'}');
        bool escapedAngle = open == L'{' && (next == L'<' || next == L'>');
        if ((escapedBrace || escapedAngle) && text[i + 2] == close) {
            Emit(text + i + 1, 1);
            return i + 3;
        }
        if (next == L'/' && IsTagLetter(text[i + 2]) && text[i + 3] == close) {
            CloseTag(text[i + 2]);
            return i + 4;
        }
        if (IsTagLetter(next) && (text[i + 2] == L' ' || text[i + 2] == close)) {
            size_t end = i + 2;
            while (text[end] && text[end] != close) ++end;
            if (text[end] == close) {
                size_t argStart = text[i + 2] == L' ' ? i + 3 : i + 2;
                UIString argument(text + argStart, static_cast<int>(end - argStart));
                OpenTag(next, argument);
                return end + 1;
            }
        }
        Emit(text + i, 1);
        return i + 1;
    }

    void OpenTag(wchar_t tag, const UIString& arg) {
        switch (tag) {
        case L'a': {
            linkIndex_ = linksFound_;
            linkOpen_ = linkIndex_ < maxLinks_;
            linkRect_ = {};
            POINT mouse = host_->LastMousePos();
            bool hovered = linkOpen_ && ::PtInRect(&links_[linkIndex_], mouse);
            if (linkOpen_ && linkTexts_) linkTexts_[linkIndex_] = arg;
            PushColor(hovered ? host_->LinkHoverFontColor() : host_->LinkFontColor());
            PushFont(Variant(false, true));
            break;
        }
        case L'b': PushFont(Variant(true, false)); break;
        case L'u': PushFont(Variant(false, true)); break;
        case L'c': {
            const wchar_t* digits = arg[0] == L'#' ? arg.Data() + 1 : arg.Data();
            PushColor(wcstoul(digits, nullptr, 16));
            break;
        }
        case L'f': PushFont(FontFromArgument(arg)); break;
        case L'i': InlineImage(arg); break;
        case L'n':
            if (!(style_ & DT_SINGLELINE)) NewLine();
            break;
        case L'p':
            if (!(style_ & DT_SINGLELINE)) {
                if (x_ > box_.left) NewLine();
                y_ += _wtoi(arg);
            }
            break;
        case L'r': raw_ = true; break;
        case L's': selected_ = !selected_; break;
        case L'x': x_ += _wtoi(arg); break;
        case L'y': lineHeight_ = _wtoi(arg); break;
        default: break;
        }
    }

    void CloseTag(wchar_t tag) {
        switch (tag) {
        case L'a':
            if (linkOpen_) {
                links_[linkIndex_] = linkRect_;
                ++linksFound_;
                linkOpen_ = false;
            }
            PopColor();
            PopFont();
            break;
        case L'b':
        case L'u':
        case L'f': PopFont(); break;
        case L'c': PopColor(); break;
        case L'p':
            if (!(style_ & DT_SINGLELINE)) NewLine();
            break;
        case L's': selected_ = !selected_; break;
        default: break;
        }
    }

    void PushColor(DWORD color) {
        if (colors_.size() < kMaxNesting) colors_.push_back(color);
    }
    void PopColor() {
        if (colors_.size() > 1) colors_.pop_back();
    }
    void PushFont(HFONT font) {
        if (fonts_.size() >= kMaxNesting) return;
        fonts_.push_back(font ? font : fonts_.back());
        SelectFont(fonts_.back());
    }
    void PopFont() {
        if (fonts_.size() > 1) fonts_.pop_back();
        SelectFont(fonts_.back());
    }
    void SelectFont(HFONT font) {
        ::SelectObject(dc_, font);
        TEXTMETRICW metrics = {};
        ::GetTextMetricsW(dc_, &metrics);
        fontHeight_ = metrics.tmHeight;
    }

    HFONT FindOrAdd(const FontDescription& d) {
        HFONT font = host_->FindFont(d.face, d.size, d.bold, d.underline, d.italic);
        return font ? font : host_->AddFont(d.face, d.size, d.bold, d.underline, d.italic);
    }

    // The current font made bold and/or underlined.
    HFONT Variant(bool bold, bool underline) {
        FontDescription d = Describe(fonts_.back());
        d.bold = d.bold || bold;
        d.underline = d.underline || underline;
        return FindOrAdd(d);
    }

    // "<f 2>" picks font 2 of the window; "<f face 14 bold italic>"
    // describes one.
    HFONT FontFromArgument(const UIString& arg) {
        if (arg[0] >= L'0' && arg[0] <= L'9') return host_->FontByIndex(_wtoi(arg));
        FontDescription d;
        int faceLength = arg.IndexOf(L" ");
        if (faceLength < 0) faceLength = arg.Length();
        wcsncpy(d.face, arg.Prefix(std::min(faceLength, LF_FACESIZE - 1)), LF_FACESIZE - 1);
        UIString rest = arg.Substring(faceLength);
        int size = _wtoi(rest);
        d.size = size > 0 ? size : kDefaultFaceSize;
        d.bold = rest.IndexOf(L"bold") >= 0;
        d.underline = rest.IndexOf(L"underline") >= 0;
        d.italic = rest.IndexOf(L"italic") >= 0;
        return FindOrAdd(d);
    }

    // "<i name count index>" or "<i file='a.png' restype='PNG' count index>":
    // draws cell `index` of the image cut into `count` equal-width cells.
    void InlineImage(const UIString& arg) {
        UIString name, type;
        const wchar_t* rest = arg;
        if (arg.IndexOf(L"file='") >= 0 || arg.IndexOf(L"res='") >= 0) {
            for (;;) {
                while (*rest == L' ') ++rest;
                const wchar_t* eq = wcschr(rest, L'=');
                if (!eq || eq[1] != L'\'') break;
                const wchar_t* value = eq + 2;
                const wchar_t* quote = wcschr(value, L'\'');
                if (!quote) break;
                UIString key(rest, static_cast<int>(eq - rest));
                if (key == L"file" || key == L"res") name.Assign(value, static_cast<int>(quote - value));
                if (key == L"restype") type.Assign(value, static_cast<int>(quote - value));
                rest = quote + 1;
            }
        } else {
            const wchar_t* blank = wcschr(rest, L' ');
            name.Assign(rest, blank ? static_cast<int>(blank - rest) : -1);
            rest = blank ? blank : L"";
        }
        wchar_t* end = nullptr;
        long count = wcstol(rest, &end, 10);
        long index = wcstol(end, nullptr, 10);
        const SkinImage* image = host_->FindOrLoadImage(name, type.IsEmpty() ? nullptr : type.Data(), 0);
        if (!image) return;
        if (count < 1) count = 1;
        if (index < 0 || index >= count) index = 0;
        int cellWidth = image->width / count;
        if (cellWidth <= 0) return;
        if (x_ + cellWidth > box_.right && x_ > box_.left && CanWrap()) NewLine();
        if (!measureOnly_) {
            RECT dest = {x_, y_, x_ + cellWidth, y_ + image->height};
            RECT source = {cellWidth * index, 0, cellWidth * (index + 1), image->height};
            RECT none = {};
            CSkinRender::BlitImage(dc_, image->bitmap.get(), dest, box_, image->hasAlpha, 255, false,
                                   false, false, none, source);
        }
        x_ += cellWidth;
        lineHeight_ = std::max(lineHeight_, image->height);
    }

    bool CanWrap() const {
        if (!(style_ & DT_WORDBREAK) || (style_ & DT_SINGLELINE)) return false;
        // With an ellipsis requested, the last line that fits ends the text.
        bool roomBelow = y_ + lineHeight_ + fontHeight_ <= box_.bottom;
        return measureOnly_ || !(style_ & DT_END_ELLIPSIS) || roomBelow;
    }

    void NewLine() {
        maxRight_ = std::max(maxRight_, x_);
        y_ += lineHeight_;
        x_ = box_.left;
        lineHeight_ = fontHeight_;
    }

    // Places a run of text (a word or a run of blanks), wrapping as needed.
    void Emit(const wchar_t* s, int n) {
        while (n > 0 && !stopped_) {
            bool blanks = s[0] == L' ';
            if (blanks && x_ == box_.left && y_ > box_.top && (style_ & DT_WORDBREAK)) return;
            SIZE size = {};
            ::GetTextExtentPoint32W(dc_, s, n, &size);
            int room = box_.right - x_;
            if (size.cx <= room) {
                Draw(s, n, size.cx);
                return;
            }
            if (CanWrap()) {
                if (x_ > box_.left) {
                    NewLine();
                    continue;
                }
                // A word wider than a whole line breaks between characters.
                int fit = FittingCount(s, n, room);
                Draw(s, std::max(fit, 1), -1);
                NewLine();
                s += std::max(fit, 1);
                n -= std::max(fit, 1);
                continue;
            }
            if ((style_ & DT_END_ELLIPSIS) && !measureOnly_) {
                SIZE dots = {};
                ::GetTextExtentPoint32W(dc_, kEllipsis, 3, &dots);
                int fit = FittingCount(s, n, room - dots.cx);
                Draw(s, fit, -1);
                Draw(kEllipsis, 3, -1);
                stopped_ = true;
                return;
            }
            Draw(s, n, size.cx);
            return;
        }
    }

    int FittingCount(const wchar_t* s, int n, int width) {
        if (width <= 0) return 0;
        int fit = 0;
        SIZE size = {};
        ::GetTextExtentExPointW(dc_, s, n, width, &fit, nullptr, &size);
        return fit;
    }

    // Draws at the pen position and advances it; `width` < 0 measures.
    void Draw(const wchar_t* s, int n, int width) {
        if (n <= 0) return;
        if (width < 0) {
            SIZE size = {};
            ::GetTextExtentPoint32W(dc_, s, n, &size);
            width = size.cx;
        }
        if (!measureOnly_) {
            ::SetTextColor(dc_, ArgbToColorRef(colors_.back()));
            if (selected_) {
                ::SetBkMode(dc_, OPAQUE);
                ::SetBkColor(dc_, ArgbToColorRef(host_->SelectedBkColor()));
            } else {
                ::SetBkMode(dc_, TRANSPARENT);
            }
            ::TextOutW(dc_, x_, y_, s, n);
        }
        if (linkOpen_) {
            RECT piece = {x_, y_, x_ + width, y_ + fontHeight_};
            if (IsEmptyRect(linkRect_)) {
                linkRect_ = piece;
            } else {
                ::UnionRect(&linkRect_, &linkRect_, &piece);
            }
        }
        x_ += width;
        lineHeight_ = std::max(lineHeight_, fontHeight_);
    }

    HDC dc_;
    IRenderHostUI* host_;
    RECT box_;
    RECT* links_;
    UIString* linkTexts_;
    int maxLinks_;
    UINT style_;
    bool measureOnly_;
    SelectGuard restoreFont_;
    std::vector<DWORD> colors_;
    std::vector<HFONT> fonts_;
    int fontHeight_ = 0;
    int x_ = 0, y_ = 0, lineHeight_ = 0, maxRight_ = 0;
    bool raw_ = false, selected_ = false, stopped_ = false;
    bool linkOpen_ = false;
    int linkIndex_ = 0, linksFound_ = 0;
    RECT linkRect_ = {};
};

}  // namespace

void CSkinRender::DrawMarkupText(HDC dc, IRenderHostUI* host, RECT& rect, const wchar_t* text,
                                 DWORD color, RECT* links, UIString* linkTexts, int& linkCount,
                                 UINT style) {
    if (!dc || !host || !text) {
        linkCount = 0;
        return;
    }
    if (style & DT_CALCRECT) {
        int ignored = 0;
        MarkupLayout layout(dc, host, rect, color, nullptr, nullptr, ignored, style);
        layout.Run(text);
        rect = layout.Extent();
        return;
    }
    RECT box = rect;
    if (style & (DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)) {
        RECT measured = rect;
        int ignored = 0;
        DrawMarkupText(dc, host, measured, text, color, nullptr, nullptr, ignored, style | DT_CALCRECT);
        int dx = 0, dy = 0;
        if (style & DT_CENTER) dx = (RectWidth(rect) - RectWidth(measured)) / 2;
        if (style & DT_RIGHT) dx = RectWidth(rect) - RectWidth(measured);
        if (style & DT_VCENTER) dy = (RectHeight(rect) - RectHeight(measured)) / 2;
        if (style & DT_BOTTOM) dy = RectHeight(rect) - RectHeight(measured);
        ::OffsetRect(&box, dx, dy);
    }
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    MarkupLayout layout(dc, host, box, color, links, linkTexts, linkCount, style);
    layout.Run(text);
    linkCount = layout.LinkCount();
    ::RestoreDC(dc, saved);
}

}  // namespace SkinUI
