// The wide string class of the engine and wizard.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

// Wide string with the operations the engine and wizard code use. Positions and
// lengths are character counts; a position out of range is clamped, never a fault.
class CString
{
public:
    CString() = default;
    CString(const wchar_t* text);
    CString(const wchar_t* text, int length);
    CString(const char* text); // converted from the ANSI code page
    CString(wchar_t ch, int repeat = 1);
    CString(const std::wstring& text) : m_str(text) {}
    CString(std::wstring&& text) : m_str(std::move(text)) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    const wchar_t* GetString() const { return m_str.c_str(); }
    operator const wchar_t*() const { return m_str.c_str(); }
    const std::wstring& Str() const { return m_str; }

    wchar_t GetAt(int index) const;
    wchar_t operator[](int index) const { return GetAt(index); }
    void SetAt(int index, wchar_t ch);

    CString& operator=(const wchar_t* text);
    CString& operator=(const char* text);
    CString& operator=(wchar_t ch);
    CString& operator+=(const CString& text);
    CString& operator+=(const wchar_t* text);
    CString& operator+=(wchar_t ch);
    void Append(const wchar_t* text, int length);

    int Compare(const wchar_t* text) const;
    int CompareNoCase(const wchar_t* text) const; // by the user's locale, ignoring case

    // Format with the Windows conversions ("%s" wide, "%S" narrow). An invalid
    // format leaves the string empty.
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);

    CString& MakeUpper();
    CString& MakeLower();

    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;

    int Replace(const wchar_t* oldText, const wchar_t* newText);
    int Replace(wchar_t oldCh, wchar_t newCh);
    int Remove(wchar_t ch);
    int Insert(int index, const wchar_t* text);
    int Insert(int index, wchar_t ch);
    int Delete(int index, int count = 1);

    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(const wchar_t* chars);
    CString& TrimLeft(const wchar_t* chars);
    CString& TrimRight(const wchar_t* chars);

    // Direct access to the characters; ReleaseBuffer(-1) takes the length up to the first NUL.
    wchar_t* GetBuffer(int minLength = 0);
    wchar_t* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);


    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const wchar_t* b);
    friend CString operator+(const wchar_t* a, const CString& b);
    friend CString operator+(const CString& a, wchar_t b);
    friend CString operator+(wchar_t a, const CString& b);

    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.m_str == (b ? b : L""); }
    friend bool operator==(const wchar_t* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
    friend bool operator!=(const wchar_t* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

private:
    size_t Clamp(int index) const;

    std::wstring m_str;
};
