// The theme's fonts, brushes and images, built from the interface document.
#include "common/config/GraphRes.h"

#include "common/config/XMLElement.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <climits>
#include <new>
#include <utility>

namespace Common {
namespace Config {

namespace {

// GDI+ objects come from GDI+'s allocator, which gives null (not an exception)
// when it cannot serve, for instance before GDI+ is started; a plain new would
// then construct the object at address 0.
template <class T, class... Args>
T* NewGdiplus(Args&&... args)
{
    void* memory = T::operator new(sizeof(T));
    if (memory == nullptr)
        return nullptr;
    return ::new (memory) T(std::forward<Args>(args)...);
}

// An integer attribute as OLE Automation converts it; a text that does not
// convert raises _com_error.
int ReadInteger(const CXMLElement& entry, const wchar_t* name)
{
    _variant_t value = entry.GetAttribute(name, _variant_t(0L));
    value.ChangeType(VT_I4);
    return V_I4(&value);
}

_bstr_t ReadText(const CXMLElement& entry, const wchar_t* name)
{
    return _bstr_t(entry.GetAttribute(name, _variant_t(L"0")));
}

int HexDigit(wchar_t ch)
{
    if (ch >= L'0' && ch <= L'9')
        return ch - L'0';
    if (ch >= L'a' && ch <= L'f')
        return ch - L'a' + 10;
    if (ch >= L'A' && ch <= L'F')
        return ch - L'A' + 10;
    return -1;
}

// "#" and hexadecimal digits as 0xAARRGGBB; the digits end at the first other
// character. False for anything else, and for a value beyond 32 bits.
bool ParseArgb(const wchar_t* text, DWORD& value)
{
    if (text == nullptr || text[0] != L'#' || HexDigit(text[1]) < 0)
        return false;
    DWORD result = 0;
    for (const wchar_t* p = text + 1; HexDigit(*p) >= 0; ++p) {
        if (result > 0x0FFFFFFFu)
            return false;
        result = result * 16 + static_cast<DWORD>(HexDigit(*p));
    }
    value = result;
    return true;
}

} // namespace

void CGraphResImpl::SGdiplusDelete::operator()(Gdiplus::Font* font) const
{
    delete font;
}

void CGraphResImpl::SGdiplusDelete::operator()(Gdiplus::SolidBrush* brush) const
{
    delete brush;
}

void CGraphResImpl::SGdiplusDelete::operator()(Gdiplus::Bitmap* bitmap) const
{
    delete bitmap;
}

CGraphResImpl::CGraphResImpl()
{
    // Image streams and decoders are COM objects; the count is left as it is at
    // destruction, as the thread may go on using COM.
    (void)CoInitialize(nullptr);
}

CGraphResImpl::~CGraphResImpl() = default;

bool CGraphResImpl::Load(const CXMLElement& resources, IFileLoader* loader)
{
    if (loader == nullptr || resources.IsEmpty())
        return false;
    m_pLoader = loader;
    m_pElement = &resources;
    LoadSection(L"/Images", &CGraphResImpl::ReadImage);
    LoadSection(L"/Fonts", &CGraphResImpl::ReadFont);
    LoadSection(L"/Colors", &CGraphResImpl::ReadColor);
    m_pElement = nullptr;
    return true;
}

Gdiplus::Font* CGraphResImpl::GetFont(int id)
{
    const auto found = m_Fonts.find(id);
    return found != m_Fonts.end() ? found->second.get() : nullptr;
}

Gdiplus::SolidBrush* CGraphResImpl::GetBrush(int id)
{
    const auto found = m_Brushes.find(id);
    return found != m_Brushes.end() ? found->second.get() : nullptr;
}

Gdiplus::Bitmap* CGraphResImpl::GetImage(int id)
{
    const auto found = m_Images.find(id);
    return found != m_Images.end() ? found->second.get() : nullptr;
}

void CGraphResImpl::LoadSection(const wchar_t* section, Handler handler)
{
    // A fault ends this section only; what it stored so far stays.
    try {
        const CXMLNodeList nodes = m_pElement->SelectNodes(_bstr_t(section) + L"/*");
        for (CXMLNodeListIterator it = nodes.Begin(); it != nodes.End(); ++it) {
            if (it.IsElement())
                (this->*handler)(*it);
        }
    } catch (const _com_error&) {
    } catch (const std::exception&) {
    }
}

void CGraphResImpl::ReadImage(const CXMLElement& entry)
{
    // A path the package lacks raises _com_error here, which ends the section.
    const IStreamPtr stream = m_pLoader->OpenStream(static_cast<const wchar_t*>(ReadText(entry, L"Path")));
    if (!stream)
        return;
    BitmapPtr bitmap(NewGdiplus<Gdiplus::Bitmap>(static_cast<IStream*>(stream), FALSE));
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok)
        return;

    const int id = ReadInteger(entry, L"ID");
    const int frames = ReadInteger(entry, L"Frames");
    if (frames == 0) {
        m_Images[id] = std::move(bitmap);
        return;
    }
    const bool vertical = ReadInteger(entry, L"Vertical") != 0;
    if (frames < 0)
        return;

    const UINT width = bitmap->GetWidth();
    const UINT height = bitmap->GetHeight();
    const Gdiplus::PixelFormat format = bitmap->GetPixelFormat();
    const UINT count = static_cast<UINT>(frames);
    const UINT length = vertical ? height : width;
    const UINT frameLength = length / count;
    // More frames than pixels: no frame has any size, and GDI+ makes no empty
    // bitmap. This also keeps the loop within the image's size.
    if (frameLength == 0)
        return;
    for (UINT i = 0; i < count; ++i) {
        if (id > INT_MAX - static_cast<int>(i))
            break;
        const INT offset = static_cast<INT>(static_cast<ULONGLONG>(length) * i / count);
        BitmapPtr frame(vertical ? bitmap->Clone(0, offset, static_cast<INT>(width), static_cast<INT>(frameLength), format)
                                 : bitmap->Clone(offset, 0, static_cast<INT>(frameLength), static_cast<INT>(height), format));
        if (frame && frame->GetLastStatus() == Gdiplus::Ok)
            m_Images[id + static_cast<int>(i)] = std::move(frame);
    }
}

void CGraphResImpl::ReadFont(const CXMLElement& entry)
{
    const _bstr_t face = ReadText(entry, L"Face");
    const int size = ReadInteger(entry, L"Size");
    const bool bold = ReadInteger(entry, L"Bold") != 0;
    const bool italic = ReadInteger(entry, L"Italic") != 0;
    const bool underline = ReadInteger(entry, L"UL") != 0;
    const bool strikeout = ReadInteger(entry, L"SO") != 0;
    const int id = ReadInteger(entry, L"ID");
    const INT style = (strikeout ? Gdiplus::FontStyleStrikeout : 0) | (underline ? Gdiplus::FontStyleUnderline : 0) |
                      (italic ? Gdiplus::FontStyleItalic : 0) | (bold ? Gdiplus::FontStyleBold : 0);

    const Gdiplus::FontFamily named(static_cast<const wchar_t*>(face));
    const Gdiplus::FontFamily* generic = Gdiplus::FontFamily::GenericSansSerif();
    const bool haveNamed = named.GetLastStatus() == Gdiplus::Ok && named.IsAvailable();
    const Gdiplus::FontFamily* family = haveNamed ? &named : generic;

    const auto make = [&](const Gdiplus::FontFamily* from) {
        FontPtr font;
        if (from != nullptr && from->IsAvailable()) {
            font.reset(NewGdiplus<Gdiplus::Font>(from, static_cast<Gdiplus::REAL>(size), style, Gdiplus::UnitPoint));
            if (font && (font->GetLastStatus() != Gdiplus::Ok || !font->IsAvailable()))
                font.reset();
        }
        return font;
    };
    FontPtr font = make(family);
    if (!font && family != generic)
        font = make(generic);
    if (font)
        m_Fonts[id] = std::move(font);
}

void CGraphResImpl::ReadColor(const CXMLElement& entry)
{
    const int id = ReadInteger(entry, L"ID");
    const _bstr_t text = ReadText(entry, L"ARGB");
    // A text that is no colour gives a transparent brush, which draws nothing.
    DWORD argb = 0;
    ParseArgb(static_cast<const wchar_t*>(text), argb);
    BrushPtr brush(NewGdiplus<Gdiplus::SolidBrush>(Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb))));
    if (brush && brush->GetLastStatus() == Gdiplus::Ok)
        m_Brushes[id] = std::move(brush);
}

} // namespace Config
} // namespace Common
