// The licence page.
#include "setup/wizard/DlgLicense.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"

#include "setup/res/resource.h"

#include <vector>

namespace DlgPopup {

namespace {

using Common::Config::kDlgLicencePath;
// A licence is a few pages of text; anything far larger is not one, and reading
// it whole would only exhaust memory.
const LONGLONG kMaxLicenceBytes = 16 * 1024 * 1024;

bool ReadWholeFile(const wchar_t* path, std::vector<char>& bytes)
{
    Common::Tools::CScopedHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxLicenceBytes)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return false;
    bytes.resize(read);
    return true;
}

bool StartsWith(const std::vector<char>& bytes, const unsigned char* prefix, size_t length)
{
    if (bytes.size() < length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) != prefix[i])
            return false;
    }
    return true;
}

bool LooksLikeUtf16(const std::vector<char>& bytes)
{
    static const unsigned char littleEndian[] = {0xFF, 0xFE};
    static const unsigned char bigEndian[] = {0xFE, 0xFF};
    static const unsigned char utf32[] = {0x00, 0x00, 0xFE, 0xFF};
    if (StartsWith(bytes, littleEndian, 2) || StartsWith(bytes, bigEndian, 2) || StartsWith(bytes, utf32, 4))
        return true;
    INT tests = IS_TEXT_UNICODE_UNICODE_MASK | IS_TEXT_UNICODE_REVERSE_MASK | IS_TEXT_UNICODE_NOT_UNICODE_MASK |
                IS_TEXT_UNICODE_NOT_ASCII_MASK;
    return ::IsTextUnicode(bytes.data(), static_cast<int>(bytes.size()), &tests) != FALSE;
}

CString Decode(UINT codePage, DWORD flags, const char* text, int length)
{
    if (length <= 0)
        return CString();
    const int wide = ::MultiByteToWideChar(codePage, flags, text, length, nullptr, 0);
    if (wide <= 0)
        return CString();
    CString result;
    wchar_t* buffer = result.GetBufferSetLength(wide);
    const int converted = ::MultiByteToWideChar(codePage, flags, text, length, buffer, wide);
    result.ReleaseBuffer(converted > 0 ? converted : 0);
    return result;
}

// The length up to the first NUL byte.
int TextLength(const char* text, size_t size)
{
    size_t length = 0;
    while (length < size && text[length] != '\0')
        ++length;
    return static_cast<int>(length);
}

} // namespace

BEGIN_MESSAGE_MAP(CDlgLicense, CBaseDialog)
    ON_BN_CLICKED(IDC_LICENCE_ACCEPT, OnAccept)
    ON_REGISTERED_MESSAGE(WM_CLEAR_SELECTION, OnClearSelection)
END_MESSAGE_MAP()

CDlgLicense::CDlgLicense(bool hasBack, CWnd* parent)
    : CBaseDialog(kDlgLicencePath, IDD_LICENCE, parent), m_bHasBack(hasBack)
{
}

void CDlgLicense::DoDataExchange(CDataExchange* pDX)
{
    DDX_Check(pDX, IDC_LICENCE_ACCEPT, m_bAccepted);
}

BOOL CDlgLicense::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    auto& config = Common::Config::GetSetupConfig();
    CString file;
    try {
        if (Common::Config::IXMLSettings* settings = config.GetSettings())
            file = static_cast<const wchar_t*>(
                _bstr_t(settings->GetValue(L"LicenseFile", kDlgLicencePath, _variant_t(L""))));
    } catch (const _com_error&) {
        file.Empty();
    }
    CString path = config.GetModuleFolder();
    // Only a file counts: an empty name would leave the program folder itself.
    const bool joined = AppendPath(path, file);
    if (!file.IsEmpty() && joined && IsExistingFile(path))
        SetDlgItemText(IDC_LICENCE_TEXT, LoadLicenseText(path));
    else
        SetupTrace(L"License file not found '%s'", path.GetString());

    if (HWND caption = GetDlgItemHandle(IDC_LICENCE_CAPTION)) {
        if (m_fntCaption.GetSafeHandle() == nullptr) {
            HFONT current = reinterpret_cast<HFONT>(::SendMessageW(caption, WM_GETFONT, 0, 0));
            if (current == nullptr)
                current = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
            LOGFONTW font = {};
            if (::GetObjectW(current, sizeof(font), &font) != 0) {
                font.lfWeight = FW_BOLD;
                m_fntCaption.CreateFontIndirect(&font);
            }
        }
        if (m_fntCaption.GetSafeHandle() != nullptr)
            ::SendMessageW(caption, WM_SETFONT, reinterpret_cast<WPARAM>(m_fntCaption.GetSafeHandle()), FALSE);
    }

    // Back leads to the language page whenever one was built.
    if (HWND back = GetDlgItemHandle(IDC_BACK))
        ::ShowWindow(back, m_bHasBack ? SW_SHOW : SW_HIDE);

    Common::Config::LocalizeItems items;
    items.emplace(L"ChkAcceptlicence", Common::Config::CLocalizeItem(IDC_LICENCE_ACCEPT));
    items.emplace(L"stcLicCaption", Common::Config::CLocalizeItem(IDC_LICENCE_CAPTION));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

    OnAccept();
    PostMessage(WM_CLEAR_SELECTION);
    return TRUE;
}

void CDlgLicense::OnAccept()
{
    UpdateData(TRUE);
    if (HWND next = GetDlgItemHandle(IDOK))
        ::EnableWindow(next, m_bAccepted != 0);
}

void CDlgLicense::OnOK()
{
    // Next is disabled until the box is ticked; Enter or a stray command must not
    // get past the licence either.
    if (::IsDlgButtonChecked(m_hWnd, IDC_LICENCE_ACCEPT) != BST_CHECKED)
        return;
    CBaseDialog::OnOK();
}

LRESULT CDlgLicense::OnClearSelection(WPARAM, LPARAM)
{
    ClearSelection(IDC_LICENCE_TEXT);
    return 0;
}

CString CDlgLicense::LoadLicenseText(const wchar_t* path)
{
    std::vector<char> bytes;
    if (path == nullptr || !ReadWholeFile(path, bytes) || bytes.size() < 4)
        return CString();

    static const unsigned char utf8Mark[] = {0xEF, 0xBB, 0xBF};
    if (StartsWith(bytes, utf8Mark, 3)) {
        const char* text = bytes.data() + 3;
        // Invalid UTF-8 gives no text rather than a guess.
        CString decoded = Decode(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(bytes.size() - 3));
        const int end = decoded.Find(L'\0');
        return end >= 0 ? decoded.Left(end) : decoded;
    }
    if (LooksLikeUtf16(bytes)) {
        SetupTrace(L"License file encoding is not supported. Only UFT-8 or ANSI allowed.");
        return CString();
    }
    return Decode(CP_ACP, 0, bytes.data(), TextLength(bytes.data(), bytes.size()));
}

} // namespace DlgPopup
