// The root storage's state bits read from a compound file's bytes.
#pragma once

#include <windows.h>

#include <string>

namespace Common {
namespace OLETools {

// The root storage's state bits as they stand in a compound file's bytes: the
// 4-byte field at offset 0x60 of directory entry 0. Some structured-storage
// implementations (Wine's) neither write nor report this field, so the compound
// file reads and writes it here, beside the platform calls, to give a package the
// same meaning whichever system wrote or reads it.
//
// Each function gives false, and touches nothing, when the bytes do not hold a
// compound file header and root entry it can trust.

// Offset of the field, from the file's first 512 bytes and its total size.
bool LocateRootStateBits(const BYTE* header, size_t headerLength, ULONGLONG fileSize, ULONGLONG& offset);

class CImageReader;
bool ReadRootStateBits(CImageReader& image, DWORD& bits);
bool ReadRootStateBits(const std::wstring& path, DWORD& bits);
bool WriteRootStateBits(const std::wstring& path, DWORD bits);
bool ReadRootStateBits(HGLOBAL block, DWORD& bits);

} // namespace OLETools
} // namespace Common
