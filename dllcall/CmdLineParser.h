// The typed arguments of a DLL call's command line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Parser {

// One typed argument of the command line: 'text' in single quotes is a String
// (without its quotes), an unsigned decimal number a DWORD.
class CParam
{
public:
    enum Type
    {
        Unknown = -1,
        DWORD = 0,
        String = 1,
    };

    // Sets the text (ANSI, thread code page), the value and the type from one token.
    void ParseParam(const wchar_t* token);

    std::string m_strText;
    ::DWORD m_dwValue = 0;
    int m_nType = Unknown;
};

// "dll-path entry-point arg...": tokens split at spaces; a token opened by a double
// quote runs to the token that closes it and loses its double quotes.
class CCmdLineParser
{
public:
    // True when the DLL path and the entry point are both non-empty and every
    // argument has a type. Parse again only on a fresh parser.
    bool ParseCmdLine(const wchar_t* commandLine);

    std::wstring m_strDllPath;
    std::string m_strEntryPoint;
    std::vector<CParam> m_Params;
};

// The token in the ANSI code page of the thread; empty when it does not convert.
std::string ToThreadAnsi(const std::wstring& text);

} // namespace Parser
