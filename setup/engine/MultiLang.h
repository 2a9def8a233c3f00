// The languages of a multilingual package and the one chosen.
#pragma once

#include "framework/WinString.h"

#include <objidl.h>
#include <windows.h>

#include <vector>

// The languages of a multilingual package ("\multilang.xml") and the one chosen.
// Each language's interface document is the stream "setup.xml" in the storage
// named by its value.
class CMultiLang
{
public:
    CMultiLang() = default;
    virtual ~CMultiLang() = default;

    // Reads the list and chooses the user's language (the last item whose LangID is
    // the user's primary UI language), else the Default one. False, with a trace,
    // for a damaged list or when no item is chosen. The stream stays the caller's.
    bool Load(IStream* stream);
    // The same with the user's UI language given.
    bool Load(IStream* stream, LANGID userLanguage);

    // Chooses the item at that index; an index outside the list changes nothing.
    void SelectIndex(int index);
    // Chooses the first item of that value (exact compare); false when none.
    bool SelectValue(const CString& value);

    // The number of languages the package offers.
    size_t GetCount() const { return m_vecValues.size(); }

    std::vector<CString> m_vecValues;
    std::vector<CString> m_vecCaptions;
    CString m_strCurrent;
    bool m_bLoaded = false;
    int m_nCurrent = -1;
};
