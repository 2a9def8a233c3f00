// The theme's fonts, brushes and images by id.
#pragma once

#include "common/storage/IFileLoader.h"

#include <map>
#include <memory>

namespace Gdiplus {
class Bitmap;
class Font;
class SolidBrush;
} // namespace Gdiplus

namespace Common {
namespace Config {

class CXMLElement;

// The theme's fonts, brushes and images by id. The objects stay owned by the
// implementation: callers borrow them and must not keep them past its life.
class IGraphRes
{
public:
    virtual ~IGraphRes() = default;
    virtual Gdiplus::Font* GetFont(int id) = 0;
    virtual Gdiplus::SolidBrush* GetBrush(int id) = 0;
    virtual Gdiplus::Bitmap* GetImage(int id) = 0;
};

// The graphic resources that the resources element of the interface document
// lists ("Images", "Fonts", "Colors"), made into GDI+ objects once by Load. GDI+
// must be started before Load and shut down only after the instance is gone.
class CGraphResImpl : public IGraphRes
{
public:
    CGraphResImpl();
    ~CGraphResImpl() override;
    CGraphResImpl(const CGraphResImpl&) = delete;
    CGraphResImpl& operator=(const CGraphResImpl&) = delete;

    // False without a loader or an element; otherwise true, whatever the sections
    // held. Both are borrowed: image files are opened as streams of the loader.
    bool Load(const CXMLElement& resources, IFileLoader* loader);

    Gdiplus::Font* GetFont(int id) override;
    Gdiplus::SolidBrush* GetBrush(int id) override;
    Gdiplus::Bitmap* GetImage(int id) override;

private:
    typedef void (CGraphResImpl::*Handler)(const CXMLElement& entry);

    void LoadSection(const wchar_t* section, Handler handler);
    void ReadImage(const CXMLElement& entry);
    void ReadFont(const CXMLElement& entry);
    void ReadColor(const CXMLElement& entry);

    // GDI+ objects are freed with GDI+'s own allocator (their operator delete).
    struct SGdiplusDelete
    {
        void operator()(Gdiplus::Font* font) const;
        void operator()(Gdiplus::SolidBrush* brush) const;
        void operator()(Gdiplus::Bitmap* bitmap) const;
    };
    typedef std::unique_ptr<Gdiplus::Font, SGdiplusDelete> FontPtr;
    typedef std::unique_ptr<Gdiplus::SolidBrush, SGdiplusDelete> BrushPtr;
    typedef std::unique_ptr<Gdiplus::Bitmap, SGdiplusDelete> BitmapPtr;

    IFileLoader* m_pLoader = nullptr;
    std::map<int, FontPtr> m_Fonts;
    std::map<int, BrushPtr> m_Brushes;
    std::map<int, BitmapPtr> m_Images;
    // Only while Load runs: the caller's element need not outlive it.
    const CXMLElement* m_pElement = nullptr;
};

} // namespace Config
} // namespace Common
