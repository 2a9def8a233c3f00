// The components tree's items built from the document.
#pragma once

#include "setup/wizard/ComponentItem.h"

#include <memory>
#include <vector>

namespace Common {
namespace Config {
class CXMLElement;
}
}

// What a tree view shows: items by parent (null for the roots), the tree style
// bits to add and option bits.
class ITreeDataProv
{
public:
    virtual unsigned GetCount(IItemData* parent) = 0;
    // Null when the index is not below the count.
    virtual IItemData* GetItem(IItemData* parent, unsigned index) = 0;
    virtual int GetStyle() const = 0;
    virtual int GetOptions() const = 0;
    virtual ~ITreeDataProv() = default;
};

// The components of the interface document. Owns the roots; each item owns its
// children.
class CComponentsDataProv : public ITreeDataProv
{
public:
    // Double clicks are swallowed instead of expanding or collapsing.
    static const int OptionNoDblClick = 1;

    // The store is borrowed and must outlive the provider.
    explicit CComponentsDataProv(CSetupOptions* options = nullptr) : m_pOptions(options) {}

    unsigned GetCount(IItemData* parent) override;
    IItemData* GetItem(IItemData* parent, unsigned index) override;
    int GetStyle() const override { return m_nStyle; }
    int GetOptions() const override { return m_nOptions; }

    std::vector<std::shared_ptr<IItemData>> m_vecRoots;
    int m_nStyle = 0x1000; // TVS_FULLROWSELECT
    int m_nOptions = 0;
    CSetupOptions* m_pOptions;
};

// Builds the provider from an OptionsTree element: its attributes give the style
// and options, its element children the items, to any depth. False when an
// attribute does not convert; the items built before it stay.
bool BuildComponentsProvider(CComponentsDataProv& provider, const Common::Config::CXMLElement& optionsTree);
// One item from its element (children not included). Raises _com_error.
std::shared_ptr<CItem> CreateComponentItem(CComponentsDataProv& provider, const Common::Config::CXMLElement& element);
// The element children of 'element' as children of 'parent', recursively. Raises
// _com_error.
void CreateComponentItems(CComponentsDataProv& provider, CItem& parent, const Common::Config::CXMLElement& element);
