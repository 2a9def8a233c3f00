// The wide string class of the engine and wizard.
#include "framework/WinString.h"

#include "framework/WideFormat.h"

#include <cwchar>
#include <cwctype>

namespace {

const wchar_t kWhitespace[] = L" \t\r\n\v\f";

std::wstring Widen(const char* text)
{
    if (text == nullptr || *text == '\0')
        return std::wstring();
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1)
        return std::wstring();
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &result[0], needed);
    result.resize(static_cast<size_t>(needed) - 1);
    return result;
}

} // namespace

CString::CString(const wchar_t* text) : m_str(text ? text : L"") {}

CString::CString(const wchar_t* text, int length)
{
    if (text != nullptr && length > 0)
        m_str.assign(text, static_cast<size_t>(length));
}

CString::CString(const char* text) : m_str(Widen(text)) {}

CString::CString(wchar_t ch, int repeat)
{
    if (repeat > 0)
        m_str.assign(static_cast<size_t>(repeat), ch);
}

size_t CString::Clamp(int index) const
{
    if (index < 0)
        return 0;
    return static_cast<size_t>(index) > m_str.size() ? m_str.size() : static_cast<size_t>(index);
}

wchar_t CString::GetAt(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_str.size())
        return L'\0';
    return m_str[static_cast<size_t>(index)];
}

void CString::SetAt(int index, wchar_t ch)
{
    if (index >= 0 && static_cast<size_t>(index) < m_str.size())
        m_str[static_cast<size_t>(index)] = ch;
}

CString& CString::operator=(const wchar_t* text)
{
    m_str = text ? text : L"";
    return *this;
}

CString& CString::operator=(const char* text)
{
    m_str = Widen(text);
    return *this;
}

CString& CString::operator=(wchar_t ch)
{
    m_str.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& text)
{
    m_str += text.m_str;
    return *this;
}

CString& CString::operator+=(const wchar_t* text)
{
    if (text)
        m_str += text;
    return *this;
}

CString& CString::operator+=(wchar_t ch)
{
    m_str += ch;
    return *this;
}

void CString::Append(const wchar_t* text, int length)
{
    if (text && length > 0)
        m_str.append(text, static_cast<size_t>(length));
}

int CString::Compare(const wchar_t* text) const
{
    return wcscmp(m_str.c_str(), text ? text : L"");
}

int CString::CompareNoCase(const wchar_t* text) const
{
    const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, m_str.c_str(), -1,
                                      text ? text : L"", -1);
    return result == 0 ? _wcsicmp(m_str.c_str(), text ? text : L"") : result - CSTR_EQUAL;
}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args)
{
    Framework::FormatWideV(m_str, format, args);
}

void CString::AppendFormat(const wchar_t* format, ...)
{
    std::wstring piece;
    va_list args;
    va_start(args, format);
    Framework::FormatWideV(piece, format, args);
    va_end(args);
    m_str += piece;
}

CString& CString::MakeUpper()
{
    if (!m_str.empty())
        CharUpperBuffW(&m_str[0], static_cast<DWORD>(m_str.size()));
    return *this;
}

CString& CString::MakeLower()
{
    if (!m_str.empty())
        CharLowerBuffW(&m_str[0], static_cast<DWORD>(m_str.size()));
    return *this;
}

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || static_cast<size_t>(start) >= m_str.size())
        return -1;
    const size_t pos = m_str.find(ch, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* sub, int start) const
{
    if (sub == nullptr || start < 0 || static_cast<size_t>(start) > m_str.size())
        return -1;
    const size_t pos = m_str.find(sub, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const
{
    const size_t pos = m_str.rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Replace(const wchar_t* oldText, const wchar_t* newText)
{
    if (oldText == nullptr || *oldText == L'\0')
        return 0;
    const std::wstring from(oldText);
    const std::wstring to(newText ? newText : L"");
    int count = 0;
    size_t pos = 0;
    while ((pos = m_str.find(from, pos)) != std::wstring::npos) {
        m_str.replace(pos, from.size(), to);
        pos += to.size();
        ++count;
    }
    return count;
}

int CString::Replace(wchar_t oldCh, wchar_t newCh)
{
    int count = 0;
    for (wchar_t& c : m_str) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Remove(wchar_t ch)
{
    const size_t before = m_str.size();
    std::wstring kept;
    kept.reserve(before);
    for (wchar_t c : m_str)
        if (c != ch)
            kept += c;
    m_str.swap(kept);
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int index, const wchar_t* text)
{
    if (text)
        m_str.insert(Clamp(index), text);
    return GetLength();
}

int CString::Insert(int index, wchar_t ch)
{
    m_str.insert(Clamp(index), 1, ch);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (count > 0 && index >= 0 && static_cast<size_t>(index) < m_str.size())
        m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString CString::Left(int count) const
{
    return CString(m_str.substr(0, Clamp(count)));
}

CString CString::Right(int count) const
{
    const size_t n = Clamp(count);
    return CString(m_str.substr(m_str.size() - n));
}

CString CString::Mid(int first) const
{
    return CString(m_str.substr(Clamp(first)));
}

CString CString::Mid(int first, int count) const
{
    if (count <= 0)
        return CString();
    return CString(m_str.substr(Clamp(first), static_cast<size_t>(count)));
}

CString& CString::Trim()
{
    return Trim(kWhitespace);
}

CString& CString::TrimLeft()
{
    return TrimLeft(kWhitespace);
}

CString& CString::TrimRight()
{
    return TrimRight(kWhitespace);
}

CString& CString::Trim(const wchar_t* chars)
{
    TrimRight(chars);
    return TrimLeft(chars);
}

CString& CString::TrimLeft(const wchar_t* chars)
{
    const size_t first = m_str.find_first_not_of(chars ? chars : L"");
    m_str.erase(0, first == std::wstring::npos ? m_str.size() : first);
    return *this;
}

CString& CString::TrimRight(const wchar_t* chars)
{
    const size_t last = m_str.find_last_not_of(chars ? chars : L"");
    m_str.erase(last == std::wstring::npos ? 0 : last + 1);
    return *this;
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength > 0 && static_cast<size_t>(minLength) > m_str.size())
        m_str.resize(static_cast<size_t>(minLength));
    // Keep room for a terminator the caller may write at the end of the buffer.
    m_str.reserve(m_str.size() + 1);
    return &m_str[0];
}

wchar_t* CString::GetBufferSetLength(int length)
{
    m_str.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return GetBuffer();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) {
        m_str.resize(wcsnlen(m_str.c_str(), m_str.size()));
    } else {
        m_str.resize(Clamp(newLength));
    }
}

CString operator+(const CString& a, const CString& b)
{
    return CString(a.m_str + b.m_str);
}

CString operator+(const CString& a, const wchar_t* b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(const wchar_t* a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, wchar_t b)
{
    CString result(a);
    result += b;
    return result;
}

CString operator+(wchar_t a, const CString& b)
{
    CString result(a);
    result += b;
    return result;
}
