// Tests of the wide formatting.
#include "framework/WideFormat.h"
#include "framework/WinString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WideFormat, UsesWindowsMeaningOfStringConversions)
{
    std::wstring out;
    ASSERT_TRUE(Framework::FormatWide(out, L"%s|%S", L"wide", "narrow"));
    EXPECT_EQ(L"wide|narrow", out);
}

TEST(WideFormat, FormatsNumbersTheWindowsWay)
{
    struct Case {
        const wchar_t* format;
        unsigned value;
        const wchar_t* expected;
    } cases[] = {
        {L"%#010x", 0x80004005u, L"0x80004005"},
        {L"%d", static_cast<unsigned>(-42), L"-42"},
        {L"%08X", 0xBEEFu, L"0000BEEF"},
        {L"%u%%", 100u, L"100%"},
    };
    for (const Case& c : cases) {
        std::wstring out;
        ASSERT_TRUE(Framework::FormatWide(out, c.format, c.value));
        EXPECT_EQ(c.expected, out) << c.format;
    }
    std::wstring out;
    ASSERT_TRUE(Framework::FormatWide(out, L"%I64d", 1234567890123LL));
    EXPECT_EQ(L"1234567890123", out);
}

TEST(WideFormat, LongResultIsNotCut)
{
    const std::wstring piece(3000, L'x');
    std::wstring out;
    ASSERT_TRUE(Framework::FormatWide(out, L"[%s][%s]", piece.c_str(), piece.c_str()));
    EXPECT_EQ(L"[" + piece + L"][" + piece + L"]", out);
}

TEST(WideFormat, ManyArgumentsSurviveTheMeasuringPass)
{
    std::wstring out;
    ASSERT_TRUE(Framework::FormatWide(out, L"%d %s %d %S %d %s", 1, L"two", 3, "four", 5, L"six"));
    EXPECT_EQ(L"1 two 3 four 5 six", out);
}

TEST(WideFormat, NullFormatFails)
{
    std::wstring out = L"old";
    EXPECT_FALSE(Framework::FormatWide(out, nullptr));
    EXPECT_TRUE(out.empty());
}

TEST(WideFormat, StringFormatAndAppendFormat)
{
    CString text;
    text.Format(L"%s=%d", L"answer", 42);
    EXPECT_EQ(CString(L"answer=42"), text);
    text.AppendFormat(L" (%S)", "ok");
    EXPECT_EQ(CString(L"answer=42 (ok)"), text);
}

} // namespace
