// The language page.
#include "setup/wizard/DlgLangSelect.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "setup/engine/MultiLang.h"
#include "setup/res/resource.h"

#include <algorithm>

namespace DlgPopup {

namespace {

const int kRadioIds[] = {IDC_LANG_0, IDC_LANG_1, IDC_LANG_2, IDC_LANG_3, IDC_LANG_4};
const int kRadioCount = 5;
// The other-languages button comes after these.
const int kDirectCount = 4;

} // namespace

BEGIN_MESSAGE_MAP(CDlgLangSelect, CBaseDialog)
    ON_BN_CLICKED(IDC_LANG_4, OnOtherLanguage)
    ON_BN_CLICKED(IDC_LANG_3, OnLanguage3)
    ON_BN_CLICKED(IDC_LANG_2, OnLanguage2)
    ON_BN_CLICKED(IDC_LANG_1, OnLanguage1)
    ON_BN_CLICKED(IDC_LANG_0, OnLanguage0)
    ON_CBN_SELCHANGE(IDC_LANG_LIST, OnOtherLanguage)
END_MESSAGE_MAP()

CDlgLangSelect::CDlgLangSelect(CMultiLang* languages, CWnd* parent)
    : CBaseDialog(Common::Config::kDlgLangSelectorPath, IDD_LANGUAGE, parent), m_pMultiLang(languages)
{
}

void CDlgLangSelect::DoDataExchange(CDataExchange* pDX)
{
    CBaseDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LANG_LIST, m_cbLanguages);
}

bool CDlgLangSelect::HasManyLanguages() const
{
    return m_pMultiLang != nullptr && m_pMultiLang->m_vecValues.size() > static_cast<size_t>(kRadioCount);
}

BOOL CDlgLangSelect::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    Common::Config::LocalizeItems items;
    items.emplace(L"chkOtherLang", Common::Config::CLocalizeItem(&m_strOtherLang));
    items.emplace(L"stcLangLabel", Common::Config::CLocalizeItem(IDC_LANG_LABEL));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

    const bool many = HasManyLanguages();
    const int count = m_pMultiLang != nullptr ? static_cast<int>(m_pMultiLang->m_vecValues.size()) : 0;
    if (HWND list = GetDlgItemHandle(IDC_LANG_LIST))
        ::ShowWindow(list, many ? SW_SHOW : SW_HIDE);
    for (int id : kRadioIds) {
        if (HWND radio = GetDlgItemHandle(id))
            ::ShowWindow(radio, SW_HIDE);
    }

    const int direct = many ? kDirectCount : std::min(count, kRadioCount);
    for (int i = 0; i < direct; ++i) {
        SetDlgItemText(kRadioIds[i], m_pMultiLang->m_vecCaptions[i]);
        if (HWND radio = GetDlgItemHandle(kRadioIds[i]))
            ::ShowWindow(radio, SW_SHOW);
    }
    if (many) {
        SetDlgItemText(IDC_LANG_4, m_strOtherLang);
        if (HWND radio = GetDlgItemHandle(IDC_LANG_4))
            ::ShowWindow(radio, SW_SHOW);
        // Filled anew on each showing: the control is new, the list is not.
        m_cbLanguages.ResetContent();
        for (int i = kDirectCount; i < count; ++i)
            m_cbLanguages.AddString(m_pMultiLang->m_vecCaptions[i]);
        m_cbLanguages.SetCurSel(0);
    }
    if (m_cbLanguages.m_hWnd != nullptr)
        m_cbLanguages.EnableWindow(FALSE);

    const int current = m_pMultiLang != nullptr ? m_pMultiLang->m_nCurrent : -1;
    if (current >= 0 && current < count) {
        if (current < kDirectCount) {
            ::CheckDlgButton(m_hWnd, kRadioIds[current], BST_CHECKED);
        } else {
            ::CheckDlgButton(m_hWnd, IDC_LANG_4, BST_CHECKED);
            if (many) {
                m_cbLanguages.SetCurSel(current - kDirectCount);
                m_cbLanguages.EnableWindow(TRUE);
            }
        }
    }
    return TRUE;
}

void CDlgLangSelect::OnLanguage(int index)
{
    if (m_pMultiLang != nullptr)
        m_pMultiLang->SelectIndex(index);
    if (m_cbLanguages.m_hWnd != nullptr)
        m_cbLanguages.EnableWindow(FALSE);
}

void CDlgLangSelect::OnOtherLanguage()
{
    if (m_pMultiLang == nullptr)
        return;
    const bool many = HasManyLanguages();
    int index = kDirectCount;
    if (many && m_cbLanguages.m_hWnd != nullptr) {
        const int selected = m_cbLanguages.GetCurSel();
        index += selected > 0 ? selected : 0;
    }
    m_pMultiLang->SelectIndex(index);
    if (many && m_cbLanguages.m_hWnd != nullptr)
        m_cbLanguages.EnableWindow(TRUE);
}

} // namespace DlgPopup
