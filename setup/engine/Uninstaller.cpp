// Registration of the uninstaller: its copy, the uninstall package, the
// components file and the Windows uninstall record.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/storage/Storage.h"
#include "common/tools/ComError.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/RegKey.h"
#include "common/tools/SetupTrace.h"
#include "framework/Gdi.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/UninstallKeys.h"
#include "setup/engine/VariableExpansion.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <string>

namespace {

// The product id names the files in the uninstall folder and the record's key:
// it must be one plain file name, so that nothing lands beside the folder.
bool IsSafeProductName(const CString& product)
{
    const std::wstring& name = product.Str();
    return name.find(L"..") == std::wstring::npos && IsSafeFileName(name);
}

// The values of the record that come from the document, read before anything is
// written so that a value that does not convert stops the registration at once.
struct SRecordValues
{
    DWORD versionMinor = 0;
    DWORD versionMajor = 0;
    CString publisher;
    CString displayIcon;
    CString displayName;
    CString displayVersion;
    CString urlInfoAbout;
    CString edition;
};

SRecordValues ReadRecordValues(const Common::Config::CXMLElement& info)
{
    SRecordValues values;
    values.versionMinor = VariantToDword(info.GetAttribute(L"VersionMinor", _variant_t(0L)));
    values.versionMajor = VariantToDword(info.GetAttribute(L"VersionMajor", _variant_t(0L)));
    values.publisher = GetNodeAttribute(info, L"Publisher", L"");
    values.displayIcon = GetNodeAttribute(info, L"DisplayIcon", L"");
    values.displayName = GetNodeAttribute(info, L"DisplayName", L"");
    values.displayVersion = GetNodeAttribute(info, L"DisplayVersion", L"");
    values.urlInfoAbout = GetNodeAttribute(info, L"URLInfoAbout", L"");
    values.edition = GetNodeAttribute(info, L"Edition", L"");
    return values;
}

void SetDwordValue(HKEY key, const wchar_t* name, DWORD value)
{
    ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void SetStringValue(HKEY key, const wchar_t* name, const CString& value)
{
    // The size counts the terminating NUL: readers expect REG_SZ data to end in one.
    const DWORD size = static_cast<DWORD>((value.GetLength() + 1) * sizeof(wchar_t));
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.GetString()), size);
}

// A missing folder is made and hidden; an existing one keeps its attributes.
void MakeUninstallFolder(const CString& folder)
{
    if (::PathFileExistsW(folder))
        return;
    if (::SHCreateDirectory(nullptr, folder) != ERROR_SUCCESS) {
        SetupTrace(L"Can't create uninstall folder '%s'", folder.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    }
    const DWORD attributes = ::GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    ::SetFileAttributesW(folder, attributes | FILE_ATTRIBUTE_HIDDEN);
}

// The uninstall package: the setup document marked as an uninstall script, and the
// theme images, all in a new package whose streams carry the stream cipher.
void WriteUninstallPackage(Common::Config::IXMLSettings* settings, const CString& package, const CString& target)
{
    auto document = dynamic_cast<Common::Config::CXMLDocument*>(settings);
    if (document == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    Common::Config::CXMLWritableSettings copy;
    copy.Load(document->GetXML(), false);
    Common::Config::CXMLElement root;
    copy.GetElement(L"Interface", root);
    Common::Config::CXMLElement script = root.AppendElement(L"UninstallScript");
    script.SetAttribute(L"TargetDir", _variant_t(target.GetString()));

    // Made before the old package goes, so that a document that cannot be written
    // leaves it in place; never saved as a null stream.
    IStreamPtr xml = Common::Config::CreateXMLStream(copy.GetXML());
    if (!xml) {
        SetupTrace(L"Can't serialize the uninstall script");
        Common::Tools::ThrowComError(E_FAIL);
    }

    if (::PathFileExistsW(package))
        ::DeleteFileW(package);
    Common::Storage::CStorage storage;
    if (!storage.Open(package.Str(), false, true))
        Common::Tools::ThrowComError(E_FAIL);

    Common::Config::CXMLNodeList images;
    settings->SelectNodes(Common::Config::kResourceImagesPath, images);
    Common::Storage::CPackedStorage& source = Common::Config::GetSetupConfig().GetPackage();
    for (Common::Config::CXMLNodeListIterator it = images.Begin(); it != images.End(); ++it) {
        const CString path = GetRawAttribute(*it, L"Path");
        IStreamPtr stream = source.OpenStream(path.Str());
        if (!stream) {
            SetupTrace(L"Image '%s' is missing in the package", path.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }
        storage.SaveStream(path.Str(), stream);
    }
    // Last, so that no image stream can stand in for the uninstall script.
    storage.SaveStream(L"\\setup.xml", xml);
}

void WriteUninstallRecord(const CString& product, const CString& uninstaller, const CString& target,
                          const SRecordValues& values, const CMultiLang& languages)
{
    CString keyPath(kUninstallKey);
    keyPath += L"\\";
    keyPath += product;
    // No view flag: setup is 32-bit and its record belongs to the 32-bit view.
    Common::Tools::CRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, keyPath, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return;

    CString command = uninstaller;
    QuotePath(command);
    command.AppendFormat(L" /X%s", product.GetString());

    SetDwordValue(key.Get(), kVersionMinorValue, values.versionMinor);
    SetDwordValue(key.Get(), kVersionMajorValue, values.versionMajor);
    SetStringValue(key.Get(), kUninstallStringValue, command);
    SetStringValue(key.Get(), kPublisherValue, values.publisher);
    SetStringValue(key.Get(), kInstallLocationValue, target);
    SetStringValue(key.Get(), kDisplayIconValue, values.displayIcon);
    SetStringValue(key.Get(), kDisplayNameValue, values.displayName);
    SetStringValue(key.Get(), kDisplayVersionValue, values.displayVersion);
    SetStringValue(key.Get(), kURLInfoAboutValue, values.urlInfoAbout);
    if (!values.edition.IsEmpty())
        SetStringValue(key.Get(), kEditionValue, values.edition);
    if (languages.m_bLoaded)
        SetStringValue(key.Get(), kLanguageIDValue, languages.m_strCurrent);
}

} // namespace

void CInstallManager::RegisterUninstaller()
{
    if (m_bUpdateMode || m_bUninstallerRegistered)
        return;
    CWaitCursor wait;
    if (m_pSettings == nullptr || !NodeExists(Common::Config::kInstallInfoPath))
        return;
    SetStepCaption(Common::Config::kStepRegisterProgramPath);
    SetupTrace(L"Register uninstaller");

    Common::Config::CXMLElement info;
    m_pSettings->GetElement(Common::Config::kInstallInfoPath, info);
    const CString product = GetNodeAttribute(info, L"ProductID", L"");
    const CString folder = GetNodeAttribute(info, L"UninstallPath", L"");
    CString target(L"%TargetDir%");
    ExpandVariables(target);
    const bool registerProduct = g_CmdLine.m_bRegisterProduct;

    if (product.IsEmpty() && !registerProduct) {
        // Without a record nothing asks for the product by name: no files to name.
        SetupTrace(L"No product ID: uninstaller files not written");
    } else {
        if (!IsSafeProductName(product)) {
            SetupTrace(L"Product ID '%s' is not a usable file name: uninstaller not registered", product.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }
        SRecordValues values;
        if (registerProduct)
            values = ReadRecordValues(info);

        // One path for the copy and the record, so that the record names the copy;
        // a folder that the current drive or folder completes would be no place to
        // find it, and would slip past the shared data folder's check below.
        CString uninstaller = folder;
        CString package = folder;
        CString components = folder;
        const wchar_t* refusal = FullPathRefusal(folder);
        if (refusal == nullptr && (!AppendPath(uninstaller, product + L".exe") ||
                                   !AppendPath(package, product + L".cfs") || !AppendPath(components, product + L".cfg")))
            refusal = L"too long";
        if (refusal != nullptr) {
            SetupTrace(L"Uninstall path '%s' is not a usable folder: %s", folder.GetString(), refusal);
            Common::Tools::ThrowComError(E_FAIL);
        }
        // Every user may write in the shared data folder: a copy kept there could
        // be replaced before it runs again with the rights of an uninstall.
        CString sharedData(L"%TargetDataDir%");
        ExpandVariables(sharedData);
        if (IsPathAtOrBelow(folder, sharedData)) {
            SetupTrace(L"Uninstall path '%s' lies in the shared data folder '%s': uninstaller not registered",
                       folder.GetString(), sharedData.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }

        MakeUninstallFolder(folder);
        // The record and the update association name this copy: without it
        // they would point at a program that is not there.
        if (!::CopyFileW(GetModulePath(), uninstaller, FALSE)) {
            SetupTrace(L"Can't copy the uninstaller to '%s' (error %lu)", uninstaller.GetString(), ::GetLastError());
            Common::Tools::ThrowComError(E_FAIL);
        }
        AssociateUpdatePackages(true, uninstaller);
        WriteUninstallPackage(m_pSettings, package, target);
        // Beside the copy, in the folder as it stands now: the install folder the
        // user chose may be part of it, and the uninstall looks for it there.
        m_SetupOptions.m_strPath = components;
        const bool saved = m_SetupOptions.Save();
        SetupTrace(L"Save installed components info: %d", saved ? 1 : 0);

        if (registerProduct)
            WriteUninstallRecord(product, uninstaller, target, values, m_MultiLang);
    }

    SetStepCaption(nullptr);
    m_bUninstallerRegistered = true;
}
