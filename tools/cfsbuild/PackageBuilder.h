// The package builder: a folder tree made into an install package.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace PackageTools {

struct SBuildOptions
{
    bool cipher = true; // root state bit 0 set, every stream RC4-transformed
    bool pack = false;  // every stream zlib-packed with the trailer
    // Without 'pack': the streams whose path below the root ("docs\\manual.txt")
    // matches one of these wildcards (PathMatchSpec) are packed, the others not.
    std::vector<std::wstring> packOnly;
};

// The packed-stream form of some bytes: zlib data, then the magic, the unpacked
// size and the Adler-32 of everything before it.
std::vector<BYTE> PackBytes(const std::vector<BYTE>& plain);

// Makes an install package from a folder tree: every file becomes a stream at its
// backslash path below the root, every folder a storage. An existing package file
// is replaced. False, with a message, when something cannot be read or written.
bool BuildPackage(const std::wstring& folder, const std::wstring& package, const SBuildOptions& options,
                  std::wstring& error);

} // namespace PackageTools
