#pragma once

#include "framework/WinString.h"

#include <vector>

// The languages of a package ("\multilang.xml"). Only what the install road reads
// is here so far; the language list itself arrives with the language page.
class CMultiLang
{
public:
    CMultiLang() = default;
    virtual ~CMultiLang() = default;

    // The number of languages the package offers.
    size_t GetCount() const { return m_Values.size(); }

    bool m_bLoaded = false;
    int m_nCurrent = -1;
    CString m_strCurrent;
    std::vector<CString> m_Values;
};
