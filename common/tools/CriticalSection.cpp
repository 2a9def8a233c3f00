// An owned critical section and its scoped lock.
#include "common/tools/CriticalSection.h"

#include <comdef.h>

namespace Common {
namespace Tools {

CCriticalSection::CCriticalSection()
{
    if (!InitializeCriticalSectionAndSpinCount(&m_section, 0))
        throw _com_error(HRESULT_FROM_WIN32(GetLastError()));
}

CCriticalSection::~CCriticalSection()
{
    DeleteCriticalSection(&m_section);
}

void InitializeCriticalSectionOrRaise(CRITICAL_SECTION& section)
{
    // The call that reports its failure, rather than one that raises inside.
    if (!InitializeCriticalSectionAndSpinCount(&section, 0))
        RaiseException(STATUS_NO_MEMORY, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

} // namespace Tools
} // namespace Common
