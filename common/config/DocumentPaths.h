// XPath queries into the package's interface document that more than one place asks.
#pragma once

namespace Common {
namespace Config {

// The product's identity, version and uninstall folder.
constexpr wchar_t kInstallInfoPath[] = L"//Interface/InstallInfo";
// The files to copy and the install's sizes and switches.
constexpr wchar_t kSetupFilesPath[] = L"//Interface/SetupFiles";
// The uninstall package's own element (the install's folder, as written): a package
// that holds it is meant for uninstalling only.
constexpr wchar_t kUninstallScriptPath[] = L"Interface/UninstallScript";
// The theme's resources, and the images among them that go into the uninstall package.
constexpr wchar_t kResourcesPath[] = L"//Interface/Resources";
constexpr wchar_t kResourceImagesPath[] = L"//Interface/Resources/Images/*";

// The texts of the current language: the title of every window and message box...
constexpr wchar_t kLocalizePath[] = L"//Interface/Localize";
// ...the buttons every page shares...
constexpr wchar_t kLocalizeCommonPath[] = L"//Interface/Localize/Common";
// ...the messages by id, with the older documents' place as the fallback...
constexpr wchar_t kLocalizeMessagesPath[] = L"//Interface/Localize/Messages/";
constexpr wchar_t kOldLocalizeMessagesPath[] = L"//Localize/Messages/";
// ...the size format...
constexpr wchar_t kSizeSeparatorPath[] = L"//Interface/Localize/Metrics/Separator";
constexpr wchar_t kSizeUnitsPath[] = L"//Interface/Localize/Metrics/Abbreviation/*";
// ...and the caption of each step of the install page, by the step's name.
constexpr wchar_t kInstallStepsPath[] = L"//Interface/Localize/InstallSteps/";
constexpr wchar_t kStepCopyFilesPath[] = L"//Interface/Localize/InstallSteps/CopyFiles";
constexpr wchar_t kStepRemovingFilesPath[] = L"//Interface/Localize/InstallSteps/RemovingFiles";
constexpr wchar_t kStepRegisterProgramPath[] = L"//Interface/Localize/InstallSteps/RegisterProgram";
constexpr wchar_t kStepInstallPrinterPath[] = L"//Interface/Localize/InstallSteps/InstallPrinter";
constexpr wchar_t kStepRemovingPrinterPath[] = L"//Interface/Localize/InstallSteps/RemovingPrinter";
constexpr wchar_t kStepSystemComponentsPath[] = L"//Interface/Localize/InstallSteps/InstallSystemComponents";

// The texts of each window of the wizard.
constexpr wchar_t kDlgMainPath[] = L"//Interface/Localize/DlgMain";
constexpr wchar_t kDlgLangSelectorPath[] = L"//Interface/Localize/DlgLangSelector";
constexpr wchar_t kDlgLicencePath[] = L"//Interface/Localize/DlgLicence";
constexpr wchar_t kDlgDestinationPath[] = L"//Interface/Localize/DlgDestination";
// ...with the destination page's two size lines below it.
constexpr wchar_t kDlgDestinationFreeSpacePath[] = L"//Interface/Localize/DlgDestination/FreeSpace";
constexpr wchar_t kDlgDestinationRequiredSpacePath[] = L"//Interface/Localize/DlgDestination/RequiredSpace";
constexpr wchar_t kDlgComponentsPath[] = L"//Interface/Localize/DlgComponents";
constexpr wchar_t kDlgToolbarPath[] = L"//Interface/Localize/DlgToolbar";
constexpr wchar_t kDlgInstallPath[] = L"//Interface/Localize/DlgInstall";
constexpr wchar_t kDlgLockCheckPath[] = L"//Interface/Localize/DlgLockCheck";
constexpr wchar_t kDlgFinishPath[] = L"//Interface/Localize/DlgFinish";

} // namespace Config
} // namespace Common
