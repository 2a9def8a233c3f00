// The components tree's items built from the document.
#include "setup/wizard/ComponentsDataProv.h"

#include "common/config/XMLElement.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"

#include <commctrl.h>

namespace {

// Guards against a document nested deep enough to exhaust the stack.
const int kMaxDepth = 64;

const std::vector<std::shared_ptr<IItemData>>* ChildrenOf(IItemData* parent, const CComponentsDataProv& provider)
{
    if (parent == nullptr)
        return &provider.m_vecRoots;
    CItem* item = dynamic_cast<CItem*>(parent);
    return item != nullptr ? &item->m_vecChildren : nullptr;
}

void AddChildren(CComponentsDataProv& provider, CItem& parent, const Common::Config::CXMLElement& element, int depth)
{
    if (depth > kMaxDepth) {
        SetupTrace(L"Components: the tree is nested deeper than %d levels; the rest is left out.", kMaxDepth);
        return;
    }
    Common::Config::CXMLNodeList children = element.SelectNodes(L"/*");
    for (Common::Config::CXMLNodeListIterator it = children.Begin(); it != children.End(); ++it) {
        if (!it.IsElement())
            continue;
        const Common::Config::CXMLElement child = *it;
        std::shared_ptr<CItem> item = CreateComponentItem(provider, child);
        parent.m_vecChildren.push_back(item);
        AddChildren(provider, *item, child, depth + 1);
    }
}

} // namespace

unsigned CComponentsDataProv::GetCount(IItemData* parent)
{
    const auto* children = ChildrenOf(parent, *this);
    return children != nullptr ? static_cast<unsigned>(children->size()) : 0;
}

IItemData* CComponentsDataProv::GetItem(IItemData* parent, unsigned index)
{
    const auto* children = ChildrenOf(parent, *this);
    if (children == nullptr || index >= children->size())
        return nullptr;
    return (*children)[index].get();
}

std::shared_ptr<CItem> CreateComponentItem(CComponentsDataProv& provider, const Common::Config::CXMLElement& element)
{
    const bool checkable = !GetNodeBool(element, L"NoCheck", false);
    const bool enable = GetNodeBool(element, L"Enable", true);
    const CString name = GetRawAttribute(element, L"Name");
    const CString caption = GetRawAttribute(element, L"Caption");
    const int state = static_cast<int>(GetNodeLong(element, L"State", 1));
    auto item = std::make_shared<CItem>(caption, name, provider.m_pOptions, state, enable, checkable);
    if (HasAttribute(element, L"EnableIf"))
        item->m_strEnableIf = GetRawAttribute(element, L"EnableIf");
    if (HasAttribute(element, L"ResetIf"))
        item->m_strResetIf = GetRawAttribute(element, L"ResetIf");
    if (HasAttribute(element, L"SetIf"))
        item->m_strSetIf = GetRawAttribute(element, L"SetIf");
    return item;
}

void CreateComponentItems(CComponentsDataProv& provider, CItem& parent, const Common::Config::CXMLElement& element)
{
    AddChildren(provider, parent, element, 1);
}

bool BuildComponentsProvider(CComponentsDataProv& provider, const Common::Config::CXMLElement& optionsTree)
{
    try {
        if (GetNodeBool(optionsTree, L"HasButtons", true))
            provider.m_nStyle |= TVS_HASBUTTONS;
        if (GetNodeBool(optionsTree, L"HasLines", true))
            provider.m_nStyle |= TVS_HASLINES;
        if (GetNodeBool(optionsTree, L"NoDblClick", false))
            provider.m_nOptions |= CComponentsDataProv::OptionNoDblClick;
        Common::Config::CXMLNodeList roots = optionsTree.SelectNodes(L"/*");
        for (Common::Config::CXMLNodeListIterator it = roots.Begin(); it != roots.End(); ++it) {
            if (!it.IsElement())
                continue;
            const Common::Config::CXMLElement element = *it;
            std::shared_ptr<CItem> item = CreateComponentItem(provider, element);
            provider.m_vecRoots.push_back(item);
            CreateComponentItems(provider, *item, element);
        }
        return true;
    } catch (const _com_error& error) {
        SetupTrace(L"Components: the options tree cannot be read (0x%08X); it stays as far as it was built.",
                   static_cast<unsigned>(error.Error()));
        return false;
    }
}
