// The languages of a multilingual package and the one chosen.
#include "setup/engine/MultiLang.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"

bool CMultiLang::Load(IStream* stream)
{
    return Load(stream, ::GetUserDefaultUILanguage());
}

bool CMultiLang::Load(IStream* stream, LANGID userLanguage)
{
    m_vecValues.clear();
    m_vecCaptions.clear();
    m_strCurrent.Empty();
    m_nCurrent = -1;
    m_bLoaded = false;
    try {
        Common::Config::CXMLDocument document;
        document.LoadStream(stream);
        Common::Config::CXMLElement languages;
        document.GetElement(L"//Languages", languages);

        m_strCurrent = GetRawAttribute(languages, L"Default");
        if (m_strCurrent.IsEmpty())
            Common::Tools::ThrowComError(E_FAIL);

        const long user = userLanguage & 0x3FF;
        const Common::Config::CXMLNodeList items = languages.SelectNodes(L"/*");
        for (auto it = items.Begin(); it != items.End(); ++it) {
            if (!it.IsElement())
                continue;
            const Common::Config::CXMLElement item = *it;
            const CString value = GetRawAttribute(item, L"Value");
            m_vecValues.push_back(value);
            if (GetNodeLong(item, L"LangID", 0) == user)
                m_strCurrent = value;
            if (value == m_strCurrent)
                m_nCurrent = static_cast<int>(m_vecValues.size() - 1);
            m_vecCaptions.push_back(GetRawAttribute(item, L"Caption"));
        }
        if (m_nCurrent < 0)
            Common::Tools::ThrowComError(E_FAIL);
        m_bLoaded = true;
    } catch (const _com_error&) {
        // Nothing of a damaged list is kept: no page or record may offer half of it.
        m_vecValues.clear();
        m_vecCaptions.clear();
        m_strCurrent.Empty();
        m_nCurrent = -1;
        m_bLoaded = false;
        SetupTrace(L"multilang.xml in the root of cfs is damaged or missing");
    }
    return m_bLoaded;
}

void CMultiLang::SelectIndex(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_vecValues.size())
        return;
    m_strCurrent = m_vecValues[index];
    m_nCurrent = index;
}

bool CMultiLang::SelectValue(const CString& value)
{
    for (size_t i = 0; i < m_vecValues.size(); ++i) {
        if (m_vecValues[i] == value) {
            SelectIndex(static_cast<int>(i));
            return true;
        }
    }
    return false;
}
