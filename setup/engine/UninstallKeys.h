// The Windows uninstall list's key and the value names of the product's record there.
#pragma once

// Below HKEY_LOCAL_MACHINE, in the 32-bit view; the record is the key named by the product id.
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The values of the record.
constexpr wchar_t kUninstallStringValue[] = L"UninstallString";
constexpr wchar_t kInstallLocationValue[] = L"InstallLocation";
constexpr wchar_t kDisplayNameValue[] = L"DisplayName";
constexpr wchar_t kDisplayVersionValue[] = L"DisplayVersion";
constexpr wchar_t kDisplayIconValue[] = L"DisplayIcon";
constexpr wchar_t kPublisherValue[] = L"Publisher";
constexpr wchar_t kURLInfoAboutValue[] = L"URLInfoAbout";
constexpr wchar_t kVersionMajorValue[] = L"VersionMajor";
constexpr wchar_t kVersionMinorValue[] = L"VersionMinor";
constexpr wchar_t kEditionValue[] = L"Edition";
constexpr wchar_t kLanguageIDValue[] = L"LanguageID";
