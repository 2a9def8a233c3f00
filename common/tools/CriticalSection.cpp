// An owned critical section and its scoped lock.
#include "common/tools/CriticalSection.h"

#include "common/tools/ComError.h"

namespace Common {
namespace Tools {

CCriticalSection::CCriticalSection()
{
    ThrowLastErrorIf(!InitializeCriticalSectionAndSpinCount(&m_section, 0));
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
