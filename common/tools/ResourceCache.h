// Copies of RT_RCDATA resources in global memory, by id.
#pragma once

#include "common/tools/ScopedHandle.h"

#include <windows.h>

#include <map>

namespace Common {
namespace Tools {

// Copies of RT_RCDATA resources in movable global memory, by resource id. The
// cache owns the blocks and frees them when an entry is replaced or the cache goes.
class CResourceCache
{
public:
    CResourceCache() = default;
    CResourceCache(const CResourceCache&) = delete;
    CResourceCache& operator=(const CResourceCache&) = delete;

    HGLOBAL Find(UINT id) const;
    void Store(UINT id, HGLOBAL block);

private:
    std::map<UINT, CGlobalMemory> m_blocks;
};

// The program-wide cache, alive until the process ends.
CResourceCache& GetResourceCache();

// The block holding resource 'id' of the module (null: the program itself), from
// the cache or copied into it; null when the resource is missing or empty.
HGLOBAL LoadResourceToGlobal(CResourceCache& cache, HMODULE module, UINT id);

// Frees a held block and clears it.
void FreeGlobalMemory(HGLOBAL& block);

} // namespace Tools
} // namespace Common
