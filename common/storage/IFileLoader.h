// Loads whole files of the install package by package path.
#pragma once

#include <windows.h>
#include "common/tools/ComSupport.h"

#include <memory>
#include <string>

namespace Common {
namespace Config {

// Whole files of the install package, named by package paths ("\setup.xml").
class IFileLoader
{
public:
    // The file's bytes, or null (size 0) when it cannot be read.
    virtual std::unique_ptr<BYTE[]> LoadFile(const std::wstring& name, DWORD& size) = 0;
    // The file as a stream at its start, or null.
    virtual IStreamPtr OpenStream(const std::wstring& name) = 0;
    // Writes the whole stream as the named file; raises _com_error on failure.
    virtual void SaveStream(const std::wstring& name, IStream* stream) = 0;
    virtual ~IFileLoader() = default;
};

} // namespace Config
} // namespace Common
