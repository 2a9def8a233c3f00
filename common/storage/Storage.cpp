// Serialised access to one compound file, reopened for each operation.
#include "common/storage/Storage.h"

#include "common/storage/RC4.h"
#include "common/tools/ComError.h"
#include "common/tools/CriticalSection.h"
#include "common/tools/PathSafety.h"
#include "common/tools/SetupTrace.h"


namespace Common {
namespace Storage {

namespace {

// Deeper than any path the file system could take: a directory that loops.
const int kMaxFolderDepth = 128;

void TraceError(const wchar_t* operation, const std::wstring& name, const _com_error& error)
{
    SetupTrace(L"Package %s \"%s\" failed: 0x%08X", operation, name.c_str(), static_cast<unsigned>(error.Error()));
}

void Collect(OLETools::CCompFile& file, const std::wstring& folder, int depth, std::vector<std::wstring>& files)
{
    if (depth > kMaxFolderDepth)
        Tools::ThrowComError(STG_E_DOCFILECORRUPT);
    for (const OLETools::Element& element : file.Enumerate(folder)) {
        if (!IsSafeFileName(element.second)) {
            SetupTrace(L"Package element \"%s\" in \"%s\" skipped: not a usable file name", element.second.c_str(),
                       folder.c_str());
            continue;
        }
        if (element.first == OLETools::ElementStream)
            files.push_back(folder + element.second);
        else
            Collect(file, folder + element.second + L"\\", depth + 1, files);
    }
}

} // namespace

CStorage::CStorage()
{
    Tools::InitializeCriticalSectionOrRaise(m_lock);
}

CStorage::~CStorage()
{
    m_pFile.reset();
    DeleteCriticalSection(&m_lock);
}

CStorage::CHold::CHold(CStorage& storage) : m_storage(storage)
{
    Tools::ScopedLock lock(m_storage.m_lock);
    ++m_storage.m_nHolds;
}

CStorage::CHold::~CHold()
{
    Tools::ScopedLock lock(m_storage.m_lock);
    if (--m_storage.m_nHolds == 0 && m_storage.m_pFile)
        m_storage.m_pFile->Close();
}

void CStorage::OpenForOperation()
{
    if (m_nHolds == 0 || !m_pFile->IsOpen())
        m_pFile->Open();
}

void CStorage::CloseAfterOperation()
{
    if (m_nHolds == 0)
        m_pFile->Close();
}

bool CStorage::Open(const std::wstring& path, bool readOnly, bool create)
{
    try {
        std::unique_ptr<OLETools::CCompFile> file(
            new OLETools::CCompFile(path, create, readOnly ? OLETools::kModeReadOnly : OLETools::kModeReadWrite));
        m_pFile = std::move(file);
        m_pFile->Open();
        return true;
    } catch (const _com_error& error) {
        TraceError(L"open", path, error);
        return false;
    }
}

bool CStorage::OpenFromMemory(HGLOBAL block)
{
    try {
        m_pFile.reset(new OLETools::CCompFile(block));
        return true;
    } catch (const _com_error& error) {
        TraceError(L"open", L"(memory)", error);
        return false;
    }
}

std::unique_ptr<BYTE[]> CStorage::LoadFile(const std::wstring& name, DWORD& size)
{
    size = 0;
    Tools::ScopedLock lock(m_lock);
    if (!m_pFile)
        return nullptr;
    try {
        OpenForOperation();
        std::unique_ptr<BYTE[]> bytes = m_pFile->ReadStream(name, size);
        CloseAfterOperation();
        return bytes;
    } catch (const _com_error& error) {
        m_pFile->Close();
        size = 0;
        TraceError(L"read of", name, error);
        return nullptr;
    }
}

IStreamPtr CStorage::OpenStream(const std::wstring& name)
{
    Tools::ScopedLock lock(m_lock);
    if (!m_pFile)
        return IStreamPtr();
    try {
        OpenForOperation();
        IStreamPtr stream = m_pFile->OpenStream(name);
        CloseAfterOperation();
        return stream;
    } catch (const _com_error& error) {
        m_pFile->Close();
        TraceError(L"read of", name, error);
        return IStreamPtr();
    }
}

IStreamPtr CStorage::OpenStreamAhead(const std::wstring& name, DWORD limit)
{
    Tools::ScopedLock lock(m_lock);
    if (!m_pFile || m_nHolds == 0 || !m_pFile->IsOpen())
        return IStreamPtr();
    return m_pFile->OpenStreamDirect(name, limit);
}

void CStorage::SaveStream(const std::wstring& name, IStream* stream)
{
    if (!m_pFile)
        Tools::ThrowComError(E_FAIL);
    m_pFile->Open();
    m_pFile->WriteFromStream(name, stream);
    m_pFile->Close();
}

bool CStorage::ListFiles(const std::wstring& folder, std::vector<std::wstring>& files)
{
    files.clear();
    Tools::ScopedLock lock(m_lock);
    if (!m_pFile)
        return false;
    const std::wstring start = AppendSeparator(folder);
    try {
        OpenForOperation();
        Collect(*m_pFile, start, 0, files);
        CloseAfterOperation();
        return true;
    } catch (const _com_error& error) {
        m_pFile->Close();
        TraceError(L"listing of", start, error);
        return false;
    }
}

DWORD CStorage::TransformBytes(const BYTE* key, DWORD keyLength, const BYTE* input, DWORD inputLength, BYTE* output,
                               DWORD outputLength)
{
    if (output != nullptr && outputLength >= inputLength && input != nullptr && key != nullptr)
        RC4Transform(key, keyLength, input, inputLength, output, inputLength);
    return inputLength;
}

std::wstring AppendSeparator(const std::wstring& path)
{
    if (!path.empty() && path.back() == L'\\')
        return path;
    return path + L"\\";
}

} // namespace Storage
} // namespace Common
