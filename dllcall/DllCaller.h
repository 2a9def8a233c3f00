// Loads a DLL and calls one export with typed arguments.
#pragma once

#include "common/tools/FileTools.h"
#include "dllcall/CmdLineParser.h"

#include <windows.h>

#include <string>
#include <vector>

// Loads one DLL and calls one of its exports in the call shape that its typed
// arguments select. The module is freed with the object.
class CDllCaller
{
public:
    // Makes the DLL's folder the current directory (so that the DLL finds its
    // neighbours) and loads it; a failed load leaves the handle null.
    explicit CDllCaller(const wchar_t* dllPath);
    CDllCaller(const CDllCaller&) = delete;
    CDllCaller& operator=(const CDllCaller&) = delete;

    // True when the export was found, a call shape matched and the call returned
    // non-zero (a call without arguments counts as success whatever it returns).
    bool CallEntryPoint(const std::string& entryPoint, const std::vector<Parser::CParam>& params);

    HMODULE GetModule() const { return m_hModule.Get(); }
    void Free() { m_hModule.Reset(); }

private:
    CModuleHolder m_hModule;
};
