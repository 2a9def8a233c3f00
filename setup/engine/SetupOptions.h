// The condition store: components and conditions, and the components file.
#pragma once

#include "framework/WinString.h"

#include <map>

// Orders condition names as the user's locale does, ignoring letter case: two
// names that differ only in case are one name.
struct CConditionNameLess
{
    bool operator()(const CString& first, const CString& second) const;
};

// Named yes/no facts. A name keeps the letter case of its first insertion.
typedef std::map<CString, bool, CConditionNameLess> ConditionMap;

// The condition store of a run, its components file and the lists of a "/config"
// run.
class CSetupOptions
{
public:
    CSetupOptions() = default;
    virtual ~CSetupOptions() = default;

    // Terms joined by "|" or "&" (or nothing, meaning "&") from left to right,
    // without precedence; "no" or "!" in front negates; unknown names are
    // skipped. An empty text is true, except with emptyIsFalseInConfig set during
    // a "/config" run.
    bool EvaluateCondition(const CString& text, bool emptyIsFalseInConfig) const;
    // An empty name is ignored.
    void SetCondition(const CString& name, bool value);

    // The components file: "<UninstallPath>\<ProductID>.cfg" of the interface
    // document; left as it was when the document has no install information.
    void InitPath();
    // The components file into the store; false (store untouched) when the file
    // does not load.
    bool Load();
    // The store into the components file, keeping what else the file holds. A
    // file that loads as XML but is not a components file is left alone (false).
    bool Save();
    // The add or remove list of a "/config" list file into its map; the store
    // becomes a copy of it.
    bool LoadConfigList(const CString& path, bool add);
    // Folds the add or remove list into the selection.
    void ApplyList(bool add);
    // Reads the element children of the nodes at the query into the target, after
    // emptying the store. Raises _com_error.
    void ReadList(const CString& path, const CString& xpath, ConditionMap& target);

    ConditionMap m_Conditions;
    ConditionMap m_Selection;
    ConditionMap m_AddList;
    ConditionMap m_RemoveList;
    CString m_strPath;
    bool m_bConfigMode = false;
};
