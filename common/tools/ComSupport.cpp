// COM support: the compiler's support routines and the ids mingw's libraries lack.
#include "common/tools/ComSupport.h"

#include "common/tools/ComError.h"

#include <new>

// The MSXML 3.0 document class and the interface id that mingw's libuuid lacks
// (the other DOM interface ids come from libuuid).
extern "C" const CLSID CLSID_DOMDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
extern "C" const IID IID_IXMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// The compiler's support routine for raising with an object's error description:
// the code base raises through ThrowComError, which this forwards to.
void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid)
{
    Common::Tools::ThrowComError(hr, object, iid);
}

namespace _com_util {

// The conversions comdef.h's classes call. As the compiler's support contract has
// it, failures go to _com_issue_error (not ThrowIfFailed): a handler set by
// _set_com_error_handler may return, so each failure also ends the conversion with
// null.
BSTR WINAPI ConvertStringToBSTR(const char* source)
{
    if (source == nullptr)
        return nullptr;
    const int length = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
    if (length <= 0) {
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
        return nullptr;
    }
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
    if (result == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return nullptr;
    }
    if (MultiByteToWideChar(CP_ACP, 0, source, -1, result, length) != length) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        SysFreeString(result);
        _com_issue_error(hr);
        return nullptr;
    }
    return result;
}

// The caller frees the text with delete[] (as _bstr_t does).
char* WINAPI ConvertBSTRToString(BSTR source)
{
    if (source == nullptr)
        return nullptr;
    const int wideLength = static_cast<int>(SysStringLen(source));
    int length = 0;
    if (wideLength != 0) {
        length = WideCharToMultiByte(CP_ACP, 0, source, wideLength, nullptr, 0, nullptr, nullptr);
        if (length <= 0) {
            _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
            return nullptr;
        }
    }
    char* result = new (std::nothrow) char[static_cast<size_t>(length) + 1];
    if (result == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return nullptr;
    }
    if (length != 0 && WideCharToMultiByte(CP_ACP, 0, source, wideLength, result, length, nullptr, nullptr) != length) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        delete[] result;
        _com_issue_error(hr);
        return nullptr;
    }
    result[length] = '\0';
    return result;
}

} // namespace _com_util
