// The destination page.
#include "setup/wizard/DlgDestination.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/PathTools.h"
#include "common/ui/UIFormat.h"
#include "common/win32/Wow64.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/wizard/FolderBrowser.h"

#include "setup/res/resource.h"

#include <shlwapi.h>

#include <cmath>

namespace DlgPopup {

namespace {

using Common::Config::kDlgDestinationPath;
const wchar_t kProductName[] = L"%ProductName%";

CString CaptionOf(Common::Config::IXMLSettings& settings, const wchar_t* xpath)
{
    return static_cast<const wchar_t*>(_bstr_t(settings.GetValue(L"Caption", xpath, _variant_t(L""))));
}

// Megabytes from the document as bytes; nonsense (negative, not a number) is 0
// and a size beyond the counter is its largest value.
ULONGLONG MegabytesToBytes(double megabytes)
{
    const double bytes = megabytes * 1048576.0;
    if (std::isnan(bytes) || bytes <= 0.0)
        return 0;
    if (bytes >= 1.8446744073709552e19)
        return ~0ull;
    return static_cast<ULONGLONG>(bytes);
}

// A caption holds the text at most once, and no other conversion.
bool IsTextFormat(const CString& caption)
{
    const int conversions = UI::CUIFormat::CountConversions(caption, L"s");
    return conversions == 0 || conversions == 1;
}

} // namespace

BEGIN_MESSAGE_MAP(CDlgDestination, CBaseDialog)
    ON_EN_CHANGE(IDC_DEST_FOLDER, OnFolderChange)
    ON_REGISTERED_MESSAGE(WM_CLEAR_SELECTION, OnClearSelection)
    ON_BN_CLICKED(IDC_DEST_BROWSE, OnBrowse)
END_MESSAGE_MAP()

CDlgDestination::CDlgDestination(const CString& folder, CWnd* parent)
    : CBaseDialog(kDlgDestinationPath, IDD_DESTINATION, parent), m_strFolder(folder)
{
    Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
    if (settings == nullptr)
        return;
    try {
        m_strFreeSpaceFormat = CaptionOf(*settings, Common::Config::kDlgDestinationFreeSpacePath);
        const CString requiredFormat = CaptionOf(*settings, Common::Config::kDlgDestinationRequiredSpacePath);

        Common::Config::CXMLElement setupFiles;
        settings->GetElement(Common::Config::kSetupFilesPath, setupFiles);
        const double megabytes =
            VariantToDouble(setupFiles.GetAttribute(Common::Win32::IsWow64() ? L"InstallSize64" : L"InstallSize", _variant_t(0.0)));
        const CString size = UI::GetUIFormat().FormatSize(MegabytesToBytes(megabytes));
        m_strRequiredSpace = FormatCaption(requiredFormat, size);

        CString product(kProductName);
        ExpandVariables(product);
        // A package that never defines the name adds nothing to a browsed folder.
        if (product != kProductName)
            m_strProductName = product;
    } catch (const _com_error&) {
        // No SetupFiles, or a size that is no number: the texts not reached stay empty.
    }
}

CString CDlgDestination::FormatCaption(const CString& caption, const CString& argument)
{
    if (!IsTextFormat(caption))
        return caption;
    CString text;
    text.Format(caption.GetString(), argument.GetString());
    return text;
}

void CDlgDestination::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_DEST_FOLDER, m_edFolder);
    DDX_Text(pDX, IDC_DEST_FOLDER, m_strFolder);
}

BOOL CDlgDestination::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    CString summary;
    Common::Config::LocalizeItems items;
    items.emplace(L"stcDestSum", Common::Config::CLocalizeItem(&summary));
    items.emplace(L"stcDest", Common::Config::CLocalizeItem(IDC_DEST_GROUP));
    items.emplace(L"btnBrowse", Common::Config::CLocalizeItem(IDC_DEST_BROWSE));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);
    ExpandNewLines(summary);
    SetDlgItemText(IDC_DEST_SUMMARY, summary);

    UpdateSpace();
    PostMessage(WM_CLEAR_SELECTION);
    return TRUE;
}

void CDlgDestination::UpdateSpace()
{
    // Inside an exchange (the edit's change notice while UpdateData(FALSE) fills it)
    // this reads nothing, and m_strFolder already holds the text being shown.
    UpdateData(TRUE);
    SetDlgItemText(IDC_DEST_REQUIRED, m_strRequiredSpace);

    CString root = m_strFolder;
    ULONGLONG free = 0;
    // A network root is not asked: the query can stall the page at every keystroke,
    // and the engine refuses network folders anyway.
    if (StripPathToRoot(root) && !root.IsEmpty() && !::PathIsUNCW(root))
        free = GetFreeDiskSpace(root);
    CString freeText;
    try {
        freeText = UI::GetUIFormat().FormatSize(free);
    } catch (const _com_error&) {
        freeText.Empty();
    }
    SetDlgItemText(IDC_DEST_FREE, FormatCaption(m_strFreeSpaceFormat, freeText));
}

void CDlgDestination::OnFolderChange()
{
    UpdateSpace();
}

void CDlgDestination::OnBrowse()
{
    UpdateData(TRUE);
    BrowseRequest request;
    try {
        if (Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings())
            request.strTitle = CaptionOf(*settings, m_strLocalizePath + L"/BrowseTitle");
    } catch (const _com_error&) {
        request.strTitle.Empty();
    }
    request.strPath = m_strFolder;
    request.nFlags = kDestinationBrowseFlags;
    if (!BrowseForFolder(request, m_hWnd))
        return;
    m_strFolder = request.strPath;
    if (!m_strProductName.IsEmpty())
        AppendPath(m_strFolder, m_strProductName);
    UpdateData(FALSE);
}

LRESULT CDlgDestination::OnClearSelection(WPARAM, LPARAM)
{
    ClearSelection(IDC_DEST_FOLDER);
    return 0;
}

} // namespace DlgPopup
