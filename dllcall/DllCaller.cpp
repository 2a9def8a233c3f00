// Loads a DLL and calls one export with typed arguments.
#include "dllcall/DllCaller.h"

#include "common/win32/SystemDll.h"
#include "dllcall/DllLog.h"

#include <shlwapi.h>

#include <cstdint>

namespace {

using Parser::CParam;

#if defined(__i386__)
// Calls fn with the arguments pushed right to left (stdcall and cdecl alike) and
// puts the stack pointer back from the frame afterwards, so that an export whose
// parameter list differs from the shape removes too much or too little without
// wrecking setup's stack.
extern "C" int DllCallInvokeStdcall(FARPROC fn, const uintptr_t* args, int count);
asm(".text\n"
    ".globl _DllCallInvokeStdcall\n"
    "_DllCallInvokeStdcall:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    movl 8(%ebp), %eax\n"
    "    movl 12(%ebp), %esi\n"
    "    movl 16(%ebp), %ecx\n"
    "1:  testl %ecx, %ecx\n"
    "    jz 2f\n"
    "    decl %ecx\n"
    "    pushl (%esi,%ecx,4)\n"
    "    jmp 1b\n"
    "2:  call *%eax\n"
    "    leal -12(%ebp), %esp\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    popl %ebp\n"
    "    ret\n");
#endif

// The wide form of a shape-6 text, from the system ANSI code page.
std::wstring ToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring converted(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, &converted[0], size);
    return converted;
}

bool IsType(const std::vector<CParam>& params, size_t index, int type)
{
    return params[index].m_nType == type;
}

// The call shape of the arguments (1 to 7), 0 when none matches.
int ChooseShape(const std::vector<CParam>& params)
{
    switch (params.size()) {
    case 0:
        return 7;
    case 1:
        if (IsType(params, 0, CParam::String))
            return 1;
        if (IsType(params, 0, CParam::DWORD))
            return 2;
        return 0;
    case 2:
        if (IsType(params, 0, CParam::DWORD) && IsType(params, 1, CParam::DWORD))
            return 4;
        if (IsType(params, 0, CParam::DWORD) && IsType(params, 1, CParam::String))
            return 5;
        return 0;
    case 3:
        if (IsType(params, 0, CParam::DWORD) && IsType(params, 1, CParam::DWORD) && IsType(params, 2, CParam::String))
            return 3;
        return 0;
    case 5:
        return 6;
    default:
        return 0;
    }
}

// The argument as the callee sees it: the value of a DWORD, the text's address of a String.
uintptr_t Passed(const CParam& param)
{
    if (param.m_nType == CParam::String)
        return reinterpret_cast<uintptr_t>(param.m_strText.c_str());
    return param.m_dwValue;
}

int Invoke(FARPROC fn, const uintptr_t* args, int count)
{
#if defined(__i386__)
    return DllCallInvokeStdcall(fn, args, count);
#else
    // One calling convention: every argument travels in a 64-bit slot, so the
    // shapes differ only in how many are passed.
    typedef int (*Fn0)();
    typedef int (*Fn1)(uintptr_t);
    typedef int (*Fn2)(uintptr_t, uintptr_t);
    typedef int (*Fn3)(uintptr_t, uintptr_t, uintptr_t);
    typedef int (*Fn5)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
    void* const target = reinterpret_cast<void*>(fn);
    switch (count) {
    case 0:
        return reinterpret_cast<Fn0>(target)();
    case 1:
        return reinterpret_cast<Fn1>(target)(args[0]);
    case 2:
        return reinterpret_cast<Fn2>(target)(args[0], args[1]);
    case 3:
        return reinterpret_cast<Fn3>(target)(args[0], args[1], args[2]);
    default:
        return reinterpret_cast<Fn5>(target)(args[0], args[1], args[2], args[3], args[4]);
    }
#endif
}

} // namespace

CDllCaller::CDllCaller(const wchar_t* dllPath)
{
    const std::wstring path(dllPath != nullptr ? dllPath : L"");
    DllCall::LogRecord(3, "CDllCaller::CDllCaller", 11, nullptr);
    DllCall::LogRecord(4, "CDllCaller::CDllCaller", 12, (L"Dll path: " + path + L"\"\n").c_str(), false);

    std::vector<wchar_t> folder(path.begin(), path.end());
    folder.push_back(L'\0');
    PathRemoveFileSpecW(folder.data());
    const bool bChanged = SetCurrentDirectoryW(folder.data()) != FALSE;
    DllCall::LogRecord(4, "CDllCaller::CDllCaller", 15,
                       (L"Set current directory: " + std::wstring(folder.data()) + L"\" " + (bChanged ? L"OK" : L"Failed"))
                           .c_str());

    m_hModule.Reset(Common::Win32::LoadPackageDll(path.c_str()));
}

bool CDllCaller::CallEntryPoint(const std::string& entryPoint, const std::vector<Parser::CParam>& params)
{
    std::wstring name;
    for (char c : entryPoint)
        name += static_cast<wchar_t>(static_cast<unsigned char>(c));
    DllCall::LogRecord(4, "CDllCaller::CallEntryPoint", 25, (L"Try obtain entry point of '" + name + L"'").c_str());
    if (!m_hModule.IsValid())
        return false;
    const FARPROC fn = GetProcAddress(m_hModule.Get(), entryPoint.c_str());
    if (fn == nullptr)
        return false;
    DllCall::LogRecord(4, "CDllCaller::CallEntryPoint", 29, L"Entry point found");

    const int shape = ChooseShape(params);
    if (shape == 0)
        return false;
    DllCall::LogRecord(4, "CDllCaller::CallEntryPoint", 33,
                       (L"Use function prototype " + std::to_wstring(shape)).c_str());
    DllCall::LogRecord(4, "CDllCaller::CallEntryPoint", 34, L"Try make call");

    uintptr_t args[5] = {0, 0, 0, 0, 0};
    int count = static_cast<int>(params.size());
    // Shape 6: three numbers (a String counts 0) and two wide texts, which live
    // until the call has returned.
    std::wstring wide3, wide4;
    if (shape == 6) {
        for (int i = 0; i < 3; ++i)
            args[i] = params[i].m_dwValue;
        wide3 = ToWide(params[3].m_strText);
        wide4 = ToWide(params[4].m_strText);
        args[3] = reinterpret_cast<uintptr_t>(wide3.c_str());
        args[4] = reinterpret_cast<uintptr_t>(wide4.c_str());
    } else {
        for (int i = 0; i < count; ++i)
            args[i] = Passed(params[i]);
    }

    DWORD result = static_cast<DWORD>(Invoke(fn, args, count));
    if (shape == 7)
        result = 1;
    DllCall::LogRecord(4, "CDllCaller::CallEntryPoint", 67, (L"Setup return " + std::to_wstring(result)).c_str());
    return result != 0;
}
