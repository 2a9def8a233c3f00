// File tools: module holders, streams saved to and loaded from files.
#pragma once

#include "common/tools/ComSupport.h"
#include "common/tools/UniqueHandle.h"

#include <windows.h>

// Owns one reference to a loaded module, freed on destruction.
using CModuleHolder = Common::Tools::CUniqueHandle<HMODULE, &::FreeLibrary>;

// Loads the library into the holder, freeing the module it held before; the holder
// is empty when loading failed. True when the library was loaded.
bool LoadLibraryInto(CModuleHolder& holder, const wchar_t* fileName);
// The export's address; raises _com_error(E_FAIL) when the holder is empty or the
// export is missing.
FARPROC GetProcAddressOrThrow(const CModuleHolder& holder, const char* name);

// Writes the whole stream (from its start) to the file, replacing an existing one.
// False when the stream cannot be read or a write fails or falls short; the file
// then stays as far as it was written. The stream is left at its start.
bool SaveStreamToFile(IStream* stream, const wchar_t* path);
// The same with CreateFileW's creation disposition: with CREATE_NEW an existing
// file is left alone and the call fails with ERROR_FILE_EXISTS.
bool SaveStreamToFile(IStream* stream, const wchar_t* path, DWORD creation);
// The same into a file the caller opened for writing, from its current position.
bool WriteStreamToFile(IStream* stream, HANDLE file);
// The whole file in a new memory stream at its start; null when the file cannot
// be opened or read whole, or is too large to hold in memory.
IStreamPtr LoadFileToStream(const wchar_t* path);
