// Byte counts formatted with the document's localised units.
#pragma once

#include "framework/WinString.h"

namespace Common {
namespace Config {
class IXMLSettings;
} // namespace Config
} // namespace Common

namespace UI {

// Byte counts as the localised text of the interface document: the unit comes
// from "//Interface/Localize/Metrics/Abbreviation/*" (smallest first, each 1024
// times the one before), the number is formatted with that unit's "Caption" and
// its "." and "," become the language's separator.
class CUIFormat
{
public:
    CUIFormat() = default;
    virtual ~CUIFormat() = default;
    CUIFormat(const CUIFormat&) = delete;
    CUIFormat& operator=(const CUIFormat&) = delete;

    CString FormatSize(ULONGLONG bytes);
    // With the interface document of the configuration object.
    CString FormatSize(double bytes);
    // Empty without a document or without units.
    CString FormatSize(Common::Config::IXMLSettings* settings, double bytes);

    // True when the caption holds exactly one conversion and it takes a double
    // ("%f", "%e", "%E", "%g" or "%G" with flags, width and precision); "%%"
    // stands for itself. Anything else is shown as written.
    static bool IsSizeFormat(const CString& caption);
    // The printf conversions of a caption when each is one of the allowed types
    // (with flags, and width and precision of at most two digits); -1 when any
    // other conversion is there. "%%" is no conversion.
    static int CountConversions(const CString& caption, const wchar_t* allowed);

    // Read from the document on first use and kept while it is not empty.
    CString m_strSeparator;
};

// The one formatter of the process, made on first use and destroyed at exit; a
// use after that raises std::logic_error("Dead Reference Detected").
CUIFormat& GetUIFormat();

} // namespace UI
