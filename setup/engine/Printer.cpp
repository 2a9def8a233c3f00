// The virtual printer: installed and removed through the printer setup library
// that the package names, which is loaded only for the time of one operation.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/FileTools.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "framework/Gdi.h"
#include "setup/engine/ConfigTools.h"

#include <shlwapi.h>

#include <string>

namespace {

using Common::Tools::ThrowIfFailed;

const wchar_t kPrinterInstall[] = L"//Interface/PrinterInstall";
const wchar_t kSetupFiles[] = L"//Interface/PrinterInstall/P2DSetupFiles";
const wchar_t kDriver[] = L"//Interface/PrinterInstall/Driver";
const wchar_t kPrintProc[] = L"//Interface/PrinterInstall/PrintProc";
const wchar_t kPrinter[] = L"//Interface/PrinterInstall/Printer";
const wchar_t kConnector[] = L"//Interface/PrinterInstall/Connector";
const wchar_t kEventHandler[] = L"//Interface/PrinterInstall/PrinterEventHandler";
const wchar_t kDependences[] = L"//Interface/PrinterInstall/Dependences/*";

const DWORD kVersionChars = 10;
const DWORD kRegKeyChars = 520;

typedef HRESULT(WINAPI* TextFn)(const wchar_t*);
typedef HRESULT(WINAPI* NoArgFn)();
typedef HRESULT(WINAPI* VersionFn)(wchar_t*, DWORD*);
typedef HRESULT(WINAPI* DriverVersionFn)(const wchar_t*, DWORD, wchar_t*, DWORD*);
typedef HRESULT(WINAPI* TextBufferFn)(const wchar_t*, wchar_t*, DWORD*);
typedef HRESULT(WINAPI* InstallDriverFn)(const wchar_t*, const wchar_t*, DWORD, DWORD);
typedef HRESULT(WINAPI* TwoTextFn)(const wchar_t*, const wchar_t*);
typedef HRESULT(WINAPI* ThreeTextFn)(const wchar_t*, const wchar_t*, const wchar_t*);
typedef HRESULT(WINAPI* InstallPrinterFn)(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                          const wchar_t*, const wchar_t*);
typedef HRESULT(WINAPI* InstallConnectorFn)(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, const wchar_t*);
typedef HRESULT(WINAPI* EventHandlerFn)(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                                        const wchar_t*, DWORD);

template <typename Fn>
Fn Export(const CModuleHolder& library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddressOrThrow(library, name)));
}

// A text the library writes into a buffer of that many characters; one more
// character stays NUL, so a buffer the library fills whole still ends.
class CTextBuffer
{
public:
    explicit CTextBuffer(DWORD chars) : m_text(chars + 1, L'\0'), m_dwSize(chars) {}
    wchar_t* Data() { return &m_text[0]; }
    DWORD* Size() { return &m_dwSize; }
    CString Text() const { return CString(m_text.c_str()); }

private:
    std::wstring m_text;
    DWORD m_dwSize;
};

CString Value(const wchar_t* attribute, const wchar_t* xpath)
{
    return GetConfigValue(attribute, xpath);
}

// The system's text for the code, without its line end. A code the system has no
// text for (the library's own ones) reads "Unknown error", so that the message
// never shows an empty reason; the code stands beside it in every text.
CString MessageText(HRESULT hr)
{
    Common::Tools::CLocalMemory<wchar_t*> text;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(text.Receive()), 0, nullptr);
    if (length == 0 || !text.IsValid())
        return CString(L"Unknown error");
    std::wstring message(text.Get(), length);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return CString(message.c_str());
}

// Loads the library the package names; E_FAIL when it is not there or does not
// load. A relative name is made full first, so that the file found is the file
// loaded and not one of that name on the library search path.
void LoadPrinterLibrary(CModuleHolder& library)
{
    const CString named = Value(L"P2DSetupDll", kSetupFiles);
    const CString path = named.IsEmpty() ? CString() : FullPathName(named);
    if (path.IsEmpty() || !::PathFileExistsW(path) || !LoadLibraryInto(library, path))
        Common::Tools::ThrowComError(E_FAIL);
}

void OpenPrinterLibrary(const CModuleHolder& library, bool& opened)
{
    const CString cfs = Value(L"P2DSetupCFS", kSetupFiles);
    ThrowIfFailed(Export<TextFn>(library, "OpenLibrary")(cfs));
    opened = true;
}

// A missing CloseLibrary reaches the caller (the script stops there).
void ClosePrinterLibrary(const CModuleHolder& library, bool opened)
{
    if (opened)
        Export<NoArgFn>(library, "CloseLibrary")();
}

} // namespace

bool CInstallManager::InstallPrinter()
{
    if (!NodeExists(kPrinterInstall))
        return true;
    CWaitCursor wait;
    SetStepCaption(Common::Config::kStepInstallPrinterPath);
    bool result = true;
    bool opened = false;
    CModuleHolder library;
    try {
        LoadPrinterLibrary(library);
        OpenPrinterLibrary(library, opened);

        CTextBuffer libraryVersion(kVersionChars);
        ThrowIfFailed(Export<VersionFn>(library, "GetVersion")(libraryVersion.Data(), libraryVersion.Size()));
        const CString driverCaption = Value(L"DriverCaption", kDriver);
        CTextBuffer driverVersion(kVersionChars);
        ThrowIfFailed(Export<DriverVersionFn>(library, "GetDriverVersion")(driverCaption, 0, driverVersion.Data(),
                                                                           driverVersion.Size()));
        const CString procCaption = Value(L"PrintProcCaption", kPrintProc);
        CTextBuffer procVersion(kVersionChars);
        ThrowIfFailed(Export<TextBufferFn>(library, "GetDriverProcVersion")(procCaption, procVersion.Data(),
                                                                            procVersion.Size()));

        const CString printerName = Value(L"P2DPrinterName", kPrinter);
        const CString driverFile = Value(L"DriverFileName", kDriver);

        const DWORD packedLibrary = PackVersion(libraryVersion.Text());
        if (packedLibrary > PackVersion(driverVersion.Text()))
            ThrowIfFailed(Export<InstallDriverFn>(library, "InstallDriver")(driverFile, driverCaption, 1, 1));
        if (packedLibrary > PackVersion(procVersion.Text())) {
            const CString procFile = Value(L"PrintProcFileName", kPrintProc);
            ThrowIfFailed(Export<TwoTextFn>(library, "InstallDriverProc")(procFile, procCaption));
        }

        const CString printerId = Value(L"P2DPrinterID", kPrinter);
        const CString shareName = Value(L"P2DShareName", kPrinter);
        const CString portName = Value(L"PortName", kPrinter);
        // An old printer of that name goes first.
        Export<TextFn>(library, "UninstallPrinter")(printerName);
        ThrowIfFailed(Export<InstallPrinterFn>(library, "InstallPrinter")(
            printerName, printerId, driverCaption, procCaption, portName,
            shareName.IsEmpty() ? nullptr : shareName.GetString()));

        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        const DWORD type = static_cast<DWORD>(VariantToLong(m_pSettings->GetValue(L"Type", kConnector, _variant_t(1L))));
        const CString connectorId = Value(L"ConnectorID", kConnector);
        const CString hostName = Value(L"HostName", kConnector);
        ThrowIfFailed(
            Export<InstallConnectorFn>(library, "InstallConnector")(printerName, type, connectorId, hostName, nullptr));

        const CString guid32 = Value(L"CoClassGUID32", kEventHandler);
        const CString guid64 = Value(L"CoClassGUID64", kEventHandler);
        const CString module32 = Value(L"Module32", kEventHandler);
        const CString module64 = Value(L"Module64", kEventHandler);
        Common::Config::CXMLElement handler;
        m_pSettings->GetElement(kEventHandler, handler);
        const DWORD eventMask = handler.GetHex(L"EventMask", 0);
        ThrowIfFailed(Export<EventHandlerFn>(library, "SetupPrinterEventHandler")(printerName, guid32, module32, guid64,
                                                                                  module64, eventMask));

        const auto installDependence = Export<ThreeTextFn>(library, "InstallPrinterDependence");
        Common::Config::CXMLNodeList dependences;
        m_pSettings->SelectNodes(kDependences, dependences);
        for (auto it = dependences.Begin(); it != dependences.End(); ++it) {
            if (!it.IsElement())
                continue;
            const CString source = GetNodeAttribute(it, L"SourceFileName", L"");
            const CString target = GetNodeAttribute(it, L"TargetFileName", L"");
            if (source.IsEmpty() || target.IsEmpty())
                Common::Tools::ThrowComError(E_FAIL);
            ThrowIfFailed(installDependence(printerName, source, target));
        }

        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        const BOOL known = m_Seams.windowsVersion ? m_Seams.windowsVersion(&version) : ::GetVersionExW(&version);
        if (known && (version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion > 1))) {
            FARPROC isolation = nullptr;
            try {
                isolation = GetProcAddressOrThrow(library, "SetDriverIsolation");
            } catch (const _com_error&) {
                isolation = nullptr;
            }
            SetupTrace(L"Set driver isolation mode, fn=%d", static_cast<int>(reinterpret_cast<INT_PTR>(isolation)));
            if (isolation != nullptr) {
                ThrowIfFailed(reinterpret_cast<TwoTextFn>(reinterpret_cast<void*>(isolation))(driverFile, L"None"));
                SetupTrace(L"SetDriverIsolation succeeded");
            }
        }

        CTextBuffer regKey(kRegKeyChars);
        ThrowIfFailed(Export<TextBufferFn>(library, "GetPrinterRegKey")(printerName, regKey.Data(), regKey.Size()));
        m_strPrinterRegKey = regKey.Text();
        GetPathVariables().Define(L"%P2DPrinterRegKey%", m_strPrinterRegKey);
    } catch (const _com_error& e) {
        const HRESULT hr = e.Error();
        const CString message = MessageText(hr);
        CString errorText;
        errorText.Format(L"%#010x - %s", static_cast<unsigned>(hr), message.GetString());
        ShowMessageByIdWith(MainWindowHandle(), L"PrnIstallFailed", L"%ERROR%", errorText, MB_ICONERROR);
        SetupTrace(L"Exception occurred during printer install. Error %#010x: %s", static_cast<unsigned>(hr),
                   message.GetString());
        result = false;
    }
    SetupTrace(L"Install virtual printer - %s", SucceededText(result).GetString());
    SetStepCaption(nullptr);
    ClosePrinterLibrary(library, opened);
    return result;
}

bool CInstallManager::UninstallPrinter()
{
    if (!NodeExists(kPrinterInstall))
        return true;
    bool result = true;
    bool opened = false;
    CWaitCursor wait;
    SetStepCaption(Common::Config::kStepRemovingPrinterPath);
    CModuleHolder library;
    try {
        LoadPrinterLibrary(library);
        OpenPrinterLibrary(library, opened);
        const CString printerName = Value(L"P2DPrinterName", kPrinter);
        const CString driverCaption = Value(L"DriverCaption", kDriver);
        const CString procCaption = Value(L"PrintProcCaption", kPrintProc);
        // What is removed is removed whatever the library answers.
        Export<TextFn>(library, "UninstallPrinterDependences")(printerName);
        Export<TextFn>(library, "UninstallConnector")(printerName);
        Export<TextFn>(library, "UninstallPrinter")(printerName);
        Export<TextFn>(library, "UninstallDriverProc")(procCaption);
        Export<TextFn>(library, "UninstallDriver")(driverCaption);
    } catch (const _com_error& e) {
        SetupTrace(L"Exception occurred during printer uninstall. Error %X: %s", static_cast<unsigned>(e.Error()),
                   MessageText(e.Error()).GetString());
        result = false;
    }
    SetupTrace(L"Uninstall virtual printer - %s", SucceededText(result).GetString());
    SetStepCaption(nullptr);
    ClosePrinterLibrary(library, opened);
    return result;
}
