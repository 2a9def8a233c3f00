// Byte counts formatted with the document's localised units.
#include "common/ui/UIFormat.h"

#include "common/config/DocumentPaths.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"

#include <loki/Singleton.h>

#include <cwchar>

namespace UI {

namespace {

// Widths and precisions beyond two digits are no unit caption's business.
const int kMaxNumberDigits = 2;

bool IsDigit(wchar_t ch)
{
    return ch >= L'0' && ch <= L'9';
}

// Skips a run of digits; false when it is longer than a caption may use.
bool SkipNumber(const wchar_t*& p)
{
    int digits = 0;
    while (IsDigit(*p)) {
        ++p;
        if (++digits > kMaxNumberDigits)
            return false;
    }
    return true;
}

} // namespace

int CUIFormat::CountConversions(const CString& caption, const wchar_t* allowed)
{
    // The caption comes from a translator, and printf would take any other
    // conversion's argument from memory it was never given (or write to it).
    int conversions = 0;
    for (const wchar_t* p = caption.GetString(); *p != L'\0'; ++p) {
        if (*p != L'%')
            continue;
        ++p;
        if (*p == L'%')
            continue;
        while (*p == L'-' || *p == L'+' || *p == L' ' || *p == L'#' || *p == L'0')
            ++p;
        if (!SkipNumber(p))
            return -1;
        if (*p == L'.') {
            ++p;
            if (!SkipNumber(p))
                return -1;
        }
        if (*p == L'\0' || std::wcschr(allowed, *p) == nullptr)
            return -1;
        ++conversions;
    }
    return conversions;
}

bool CUIFormat::IsSizeFormat(const CString& caption)
{
    return CountConversions(caption, L"feEgG") == 1;
}

CString CUIFormat::FormatSize(ULONGLONG bytes)
{
    return FormatSize(static_cast<double>(bytes));
}

CString CUIFormat::FormatSize(double bytes)
{
    return FormatSize(Common::Config::GetSetupConfig().GetSettings(), bytes);
}

CString CUIFormat::FormatSize(Common::Config::IXMLSettings* settings, double bytes)
{
    using Common::Config::CXMLNodeList;
    using Common::Config::CXMLNodeListIterator;

    if (m_strSeparator.IsEmpty() && settings != nullptr)
        m_strSeparator = static_cast<const wchar_t*>(
            _bstr_t(settings->GetValue(L"Caption", Common::Config::kSizeSeparatorPath, _variant_t(L""))));

    CString result;
    if (settings == nullptr)
        return result;

    CXMLNodeList units;
    settings->SelectNodes(Common::Config::kSizeUnitsPath, units);
    const LONG count = units.GetLength();
    if (count <= 0)
        return result;
    // Sizes beyond the largest unit are shown in it.
    LONG unit = 0;
    while (bytes > 1000.0 && unit + 1 < count) {
        bytes *= 0.0009765625;
        ++unit;
    }

    const CXMLNodeListIterator current(&units, unit);
    const CString caption(static_cast<const wchar_t*>(_bstr_t(current.GetAttribute(L"Caption", _variant_t(L"0")))));
    if (IsSizeFormat(caption))
        result.Format(caption.GetString(), bytes);
    else
        result = caption;

    result.Replace(L".", m_strSeparator.GetString());
    result.Replace(L",", m_strSeparator.GetString());
    return result;
}

CUIFormat& GetUIFormat()
{
    return Loki::SingletonHolder<CUIFormat>::Instance();
}

} // namespace UI
