// Tests of the string class.
#include "framework/WinString.h"

#include <gtest/gtest.h>

namespace {

TEST(String, ConstructionAndConversion)
{
    EXPECT_TRUE(CString().IsEmpty());
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    EXPECT_EQ(CString(L"abc"), CString("abc"));
    EXPECT_EQ(CString(L"ab"), CString(L"abc", 2));
    EXPECT_EQ(CString(L"---"), CString(L'-', 3));
    EXPECT_EQ(3, CString(L"abc").GetLength());
    EXPECT_STREQ(L"abc", static_cast<const wchar_t*>(CString(L"abc")));
}

TEST(String, OutOfRangePositionsAreClamped)
{
    const CString text(L"abcdef");
    EXPECT_EQ(CString(L"abc"), text.Left(3));
    EXPECT_EQ(CString(L"abcdef"), text.Left(99));
    EXPECT_EQ(CString(L""), text.Left(-1));
    EXPECT_EQ(CString(L"ef"), text.Right(2));
    EXPECT_EQ(CString(L"abcdef"), text.Right(10));
    EXPECT_EQ(CString(L"cdef"), text.Mid(2));
    EXPECT_EQ(CString(L"cd"), text.Mid(2, 2));
    EXPECT_EQ(CString(L""), text.Mid(10));
    EXPECT_EQ(CString(L""), text.Mid(2, 0));
    EXPECT_EQ(L'\0', text.GetAt(6));
    EXPECT_EQ(L'a', text[0]);
}

TEST(String, FindAndReplace)
{
    CString text(L"/X/UNINSTALL/X{1}");
    EXPECT_EQ(0, text.Find(L"/X"));
    EXPECT_EQ(12, text.Find(L"/X", 1));
    EXPECT_EQ(-1, text.Find(L"/Q"));
    EXPECT_EQ(-1, text.Find(L'Q'));
    EXPECT_EQ(15, text.ReverseFind(L'1'));
    EXPECT_EQ(2, text.Replace(L"/X", L""));
    EXPECT_EQ(CString(L"/UNINSTALL{1}"), text);
    EXPECT_EQ(0, text.Replace(L"", L"y"));
    EXPECT_EQ(1, text.Replace(L'{', L'('));
    EXPECT_EQ(1, text.Remove(L'/'));
    EXPECT_EQ(CString(L"UNINSTALL(1}"), text);
}

TEST(String, ReplaceWithTextThatContainsTheOldTextEnds)
{
    CString text(L"aXa");
    EXPECT_EQ(2, text.Replace(L"a", L"aa"));
    EXPECT_EQ(CString(L"aaXaa"), text);
}

TEST(String, CaseAndComparison)
{
    CString text(L"/uninstall{ab-cd}");
    text.MakeUpper();
    EXPECT_EQ(CString(L"/UNINSTALL{AB-CD}"), text);
    text.MakeLower();
    EXPECT_EQ(CString(L"/uninstall{ab-cd}"), text);
    EXPECT_EQ(0, CString(L"Setup").CompareNoCase(L"SETUP"));
    EXPECT_NE(0, CString(L"Setup").CompareNoCase(L"Setups"));
    EXPECT_LT(CString(L"a").Compare(L"b"), 0);
    EXPECT_TRUE(CString(L"a") == L"a");
    EXPECT_TRUE(CString(L"a") != L"b");
}

TEST(String, TrimInsertDelete)
{
    CString text(L" \t value \r\n");
    text.Trim();
    EXPECT_EQ(CString(L"value"), text);
    CString slashes(L"\\\\path\\");
    slashes.TrimRight(L"\\");
    EXPECT_EQ(CString(L"\\\\path"), slashes);
    slashes.TrimLeft(L"\\");
    EXPECT_EQ(CString(L"path"), slashes);
    text.Insert(0, L"my ");
    text.Insert(99, L'!');
    EXPECT_EQ(CString(L"my value!"), text);
    text.Delete(0, 3);
    text.Delete(50, 2);
    EXPECT_EQ(CString(L"value!"), text);
}

TEST(String, BufferAccess)
{
    CString text;
    wchar_t* buffer = text.GetBuffer(MAX_PATH);
    wcscpy(buffer, L"C:\\Temp");
    text.ReleaseBuffer();
    EXPECT_EQ(CString(L"C:\\Temp"), text);
    buffer = text.GetBufferSetLength(2);
    buffer[1] = L'-';
    text.ReleaseBuffer(2);
    EXPECT_EQ(CString(L"C-"), text);
}

TEST(String, Concatenation)
{
    CString text = CString(L"a") + L"b" + L'c';
    text += CString(L"d");
    text += L'e';
    EXPECT_EQ(CString(L"abcde"), L"" + text);
    EXPECT_EQ(CString(L"xabcde"), L'x' + text);
}

} // namespace
