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

} // namespace Tools
} // namespace Common
