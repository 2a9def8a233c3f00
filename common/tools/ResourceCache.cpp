// Copies of RT_RCDATA resources in global memory, by id.
#include "common/tools/ResourceCache.h"

#include <loki/Singleton.h>

#include <cstring>
#include <utility>

namespace Common {
namespace Tools {

HGLOBAL CResourceCache::Find(UINT id) const
{
    const auto found = m_blocks.find(id);
    return found != m_blocks.end() ? found->second.Get() : nullptr;
}

void CResourceCache::Store(UINT id, HGLOBAL block)
{
    CGlobalMemory& held = m_blocks[id];
    if (held.Get() != block)
        held.Reset(block);
}

CResourceCache& GetResourceCache()
{
    return Loki::SingletonHolder<CResourceCache>::Instance();
}

HGLOBAL LoadResourceToGlobal(CResourceCache& cache, HMODULE module, UINT id)
{
    if (HGLOBAL cached = cache.Find(id))
        return cached;

    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
    if (data == nullptr || size == 0)
        return nullptr;

    CGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, size));
    {
        const CGlobalLock target(block.Get());
        if (target.Data() == nullptr)
            return nullptr;
        std::memcpy(target.Data(), data, size);
    }
    // From here on the cache frees it.
    HGLOBAL filled = block.Release();
    cache.Store(id, filled);
    return filled;
}

void FreeGlobalMemory(HGLOBAL& block)
{
    const CGlobalMemory freed(std::exchange(block, nullptr));
}

} // namespace Tools
} // namespace Common
