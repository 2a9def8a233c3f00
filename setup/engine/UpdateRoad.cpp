// The update check of an update package: the installed product, its edition and
// language, and the question from the installed version to the package's.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/PathVariables.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/UninstallKeys.h"

#include <string>

namespace {

// Replaces the placeholders in one pass over the message, so that a version or
// name that itself reads like a placeholder is not replaced again.
CString ReplacePlaceholders(const CString& text, const wchar_t* const (&names)[3], const CString (&values)[3])
{
    const std::wstring& source = text.Str();
    std::wstring result;
    size_t position = 0;
    while (position < source.size()) {
        bool replaced = false;
        for (size_t i = 0; i < 3; ++i) {
            const std::wstring name = names[i];
            if (source.compare(position, name.size(), name) == 0) {
                result += values[i].Str();
                position += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            result += source[position++];
    }
    return CString(result.c_str());
}

// Switches the package to the installed product's language. A package without a
// language list has one document; it fits a product installed without a
// language value (the record of a single-language install has none).
bool UseInstalledLanguage(CInstallManager& manager, const CString& language)
{
    CMultiLang& languages = manager.m_MultiLang;
    if (!languages.m_bLoaded || languages.m_vecValues.empty())
        return language.IsEmpty();
    if (!languages.SelectValue(language))
        return false;
    if (manager.SetLanguage(language))
        return true;
    SetupTrace(L"Language '%s' not found in update package or it damaged", language.GetString());
    return false;
}

} // namespace

bool CInstallManager::ProductUpdateAllowed()
{
    try {
        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLElement info;
        m_pSettings->GetElement(Common::Config::kInstallInfoPath, info);
        const CString name = GetNodeAttribute(info, L"DisplayName", L"");
        const CString product = GetNodeAttribute(info, L"ProductID", L"");
        const CString edition = GetNodeAttribute(info, L"Edition", L"");

        if (ReadUninstallValue(product, kUninstallStringValue).IsEmpty()) {
            ShowMessageByIdWith(MainWindowHandle(), L"InfNothingUpdate", L"%ProductName%", name, MB_ICONINFORMATION);
            SetupTrace(L"No version of %s is installed", name.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }

        const CString language = ReadUninstallValue(product, kLanguageIDValue);
        const CString installedEdition = ReadUninstallValue(product, kEditionValue);
        const bool languageFits = UseInstalledLanguage(*this, language);
        if (!languageFits || installedEdition.CompareNoCase(edition) != 0) {
            ShowMessageByIdWith(MainWindowHandle(), L"InfWrongEdition", L"%ProductName%", name, MB_ICONINFORMATION);
            SetupTrace(L"Edition mismatch. Installed: %s, update to edition: %s", installedEdition.GetString(),
                       edition.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }

        // From the document of the language now in use.
        const CString installed = ReadUninstallValue(product, kDisplayVersionValue);
        const CString update = GetConfigValue(L"DisplayVersion", Common::Config::kInstallInfoPath);
        if (PackVersion(installed) < PackVersion(update)) {
            static const wchar_t* const kNames[3] = {L"%PV%", L"%UV%", L"%ProductName%"};
            const CString values[3] = {installed, update, name};
            const CString question =
                ReplacePlaceholders(Common::Config::LoadMessage(L"QueInstallUpdate"), kNames, values);
            if (ShowMessageText(MainWindowHandle(), question, MB_YESNO | MB_ICONINFORMATION) != IDYES)
                Common::Tools::ThrowComError(E_FAIL);
            SetupTrace(L"User accept update installation. Starting update.");
            const CString folder = ReadUninstallValue(product, kInstallLocationValue);
            SetupTrace(L"Installing update to: %s", folder.GetString());
            // The install scripts write below this folder: one the install could not
            // have chosen (empty, a root, the Windows folder) would turn them on the
            // system.
            if (!IsUsableInstallFolder(folder)) {
                SetupTrace(L"The installed folder '%s' cannot take the update", folder.GetString());
                Common::Tools::ThrowComError(E_FAIL);
            }
            GetPathVariables().Define(L"%TargetDir%", folder);
            return true;
        }

        ShowMessageByIdWith(MainWindowHandle(), L"InfUptodate", L"%ProductName%", name, MB_ICONINFORMATION);
        SetupTrace(L"Already up to date. Installed version: %s, Update version: %s", installed.GetString(),
                   update.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    } catch (const _com_error&) {
        SetupTrace(L"CInstallManager::ProductUpdateAllowed() - false");
    }
    return false;
}
