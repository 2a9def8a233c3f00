// The path variables ("%NAME%") and their values.
#pragma once

#include "framework/WinString.h"

#include <map>

// The path variables: "%NAME%" texts replaced by known shell folders or by values
// the engine defines. Names ignore letter case and always carry both percent signs.
// The known folders are asked of the shell only when a text first uses them.
class CPathVariables
{
public:
    // One variable: the known-folder row (0-55) or -1 for a custom variable, and
    // its value (empty until a known folder is resolved).
    struct SEntry
    {
        int m_nFolder = -1;
        CString m_strValue;
    };

    // Plain wide-character order ignoring case, as _wcsicmp compares.
    struct SNoCaseLess
    {
        bool operator()(const CString& a, const CString& b) const;
    };

    typedef std::map<CString, SEntry, SNoCaseLess> CTable;
    typedef CTable::value_type CVariable;

    // One row of the known-folder table.
    struct SKnownFolder
    {
        const wchar_t* name;
        int csidl;
    };
    static constexpr int kKnownFolderRows = 56;
    static const SKnownFolder* KnownFolder(int row); // null outside 0-55

    // A table of the known folders (none resolved yet) and no custom variables.
    CPathVariables();
    virtual ~CPathVariables() = default;
    CPathVariables(const CPathVariables&) = delete;
    CPathVariables& operator=(const CPathVariables&) = delete;

    // Adds or replaces a custom variable; the name must be longer than two
    // characters and begin and end with '%'. The value is kept as given.
    bool Define(const CString& name, const CString& value);
    // Replaces the variables in the text; true when at least one was replaced.
    // Values are inserted as they are: call again to replace variables inside them.
    // A value that names itself more than once doubles the text at every hit, so a
    // pass stops once the text has grown by more than kMaxGrowth characters.
    bool Expand(CString& text);
    static constexpr int kMaxGrowth = 0x10000;

    // The steps of Expand.
    // The variable written at 'pos' (a '%' up to the next '%'), or null.
    CVariable* Lookup(const CString& text, int pos);
    // Replaces the form written at 'pos' everywhere in the text by the variable's
    // value; 'skip' is how far the scan moves on from 'pos'. The text is unchanged
    // when this fails.
    bool ReplaceAt(CString& text, int pos, CVariable& variable, int& skip);
    // Fills a known folder's value from the shell; a failure is asked again next time.
    bool ResolveFolder(SEntry& entry);

    const CTable& Table() const { return m_table; }

protected:
    // The shell's path of a known folder, made when missing.
    virtual bool QueryFolder(int csidl, CString& path);

private:
    CTable m_table;
};

// The one table of the process, made on first use and destroyed at exit; a use
// after that raises std::logic_error("Dead Reference Detected").
CPathVariables& GetPathVariables();
