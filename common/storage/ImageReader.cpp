// Random access to the bytes of a compound file in a file or in memory.
#include "common/storage/ImageReader.h"

#include <cstring>

namespace Common {
namespace OLETools {

CFileImageReader::CFileImageReader(const std::wstring& path)
    : m_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
{
    LARGE_INTEGER size;
    if (m_file.IsValid() && GetFileSizeEx(m_file.Get(), &size))
        m_nSize = static_cast<ULONGLONG>(size.QuadPart);
    else
        m_file.Reset();
}

bool CFileImageReader::Read(ULONGLONG offset, void* buffer, DWORD length)
{
    if (!IsOpen() || offset > m_nSize || length > m_nSize - offset)
        return false;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return SetFilePointerEx(m_file.Get(), position, nullptr, FILE_BEGIN) &&
           ReadFile(m_file.Get(), buffer, length, &read, nullptr) && read == length;
}

bool CFileImageReader::Identity(ULONGLONG& size, FILETIME& written) const
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!IsOpen() || !GetFileInformationByHandle(m_file.Get(), &information))
        return false;
    size = m_nSize;
    written = information.ftLastWriteTime;
    return true;
}

CMemoryImageReader::CMemoryImageReader(HGLOBAL block)
    : m_lock(block), m_pData(static_cast<const BYTE*>(m_lock.Data())), m_nSize(m_pData != nullptr ? GlobalSize(block) : 0)
{
}

bool CMemoryImageReader::Read(ULONGLONG offset, void* buffer, DWORD length)
{
    if (!IsOpen() || offset > m_nSize || length > m_nSize - offset)
        return false;
    std::memcpy(buffer, m_pData + offset, length);
    return true;
}

} // namespace OLETools
} // namespace Common
