// The typed arguments of a DLL call's command line.
#include "dllcall/CmdLineParser.h"

#include "dllcall/DllLog.h"

#include <cstdio>

namespace Parser {

namespace {

const int kMaxConvertible = 1073741823;

// Pieces between spaces; a run of spaces is one separator. Tabs stay in the pieces.
std::vector<std::wstring> SplitAtSpaces(const wchar_t* text)
{
    std::vector<std::wstring> pieces;
    std::wstring piece;
    for (const wchar_t* p = text; p != nullptr && *p != L'\0'; ++p) {
        if (*p == L' ') {
            if (!piece.empty())
                pieces.push_back(piece);
            piece.clear();
        } else {
            piece += *p;
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    return pieces;
}

} // namespace

std::string ToThreadAnsi(const std::wstring& text)
{
    if (text.empty() || text.size() >= static_cast<size_t>(kMaxConvertible))
        return std::string();
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string converted(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, &converted[0], size, nullptr, nullptr) != size)
        return std::string();
    return converted;
}

void CParam::ParseParam(const wchar_t* token)
{
    m_strText = ToThreadAnsi(token != nullptr ? token : L"");
    m_dwValue = 0;
    m_nType = Unknown;

    const size_t length = m_strText.size();
    unsigned int number = 0;
    if (length >= 2 && m_strText[0] == '\'' && m_strText[length - 1] == '\'') {
        m_strText = m_strText.substr(1, length - 2);
        m_nType = String;
    } else if (std::sscanf(m_strText.c_str(), "%u", &number) == 1) {
        m_dwValue = number;
        m_nType = DWORD;
    }

    switch (m_nType) {
    case DWORD:
        DllCall::LogRecord(4, "Parser::CParam::ParseParam", 44, L"DWORD");
        break;
    case String:
        DllCall::LogRecord(4, "Parser::CParam::ParseParam", 47, L"String");
        break;
    default:
        DllCall::LogRecord(4, "Parser::CParam::ParseParam", 50, L"Unknown");
        break;
    }
}

bool CCmdLineParser::ParseCmdLine(const wchar_t* commandLine)
{
    const std::wstring text(commandLine != nullptr ? commandLine : L"");
    DllCall::LogRecord(4, "Parser::CCmdLineParser::ParseCmdLine", 18, (L"Command line: " + text).c_str());

    const std::vector<std::wstring> pieces = SplitAtSpaces(text.c_str());
    size_t next = 0;
    for (int index = 0; next < pieces.size(); ++index) {
        std::wstring token = pieces[next++];
        if (token[0] == L'"' && token.back() != L'"') {
            // A quoted path or argument with spaces: up to the piece that closes it.
            bool bClosed = false;
            while (next < pieces.size()) {
                const std::wstring& more = pieces[next++];
                token += L' ';
                token += more;
                if (more.back() == L'"') {
                    bClosed = true;
                    break;
                }
            }
            if (!bClosed)
                token.clear();
        }
        if (!token.empty() && token[0] == L'"') {
            std::wstring unquoted;
            for (wchar_t c : token) {
                if (c != L'"')
                    unquoted += c;
            }
            token = unquoted;
        }

        if (index == 0) {
            m_strDllPath = token;
        } else if (index == 1) {
            m_strEntryPoint = ToThreadAnsi(token);
        } else {
            DllCall::LogRecord(4, "Parser::CCmdLineParser::ParseCmdLine", 46,
                               (L"Argument: " + token + L" Type = ").c_str(), false);
            CParam param;
            param.ParseParam(token.c_str());
            if (param.m_nType == CParam::Unknown)
                return false;
            m_Params.push_back(param);
        }
    }
    return !m_strDllPath.empty() && !m_strEntryPoint.empty();
}

} // namespace Parser
