// cfsbuild: makes an install package from a folder tree.
//
//   cfsbuild [--plain] [--pack] [--pack-only <wildcard>]... <folder> <package.cfs>
//
// Every file becomes a stream at its path below the folder ("\setup.xml",
// "\images\logo.png"), every folder a storage. By default the root carries state
// bit 0 and every stream is RC4-transformed, as in the packages setup writes;
// --plain leaves both off. --pack stores every stream zlib-packed with its
// trailer; --pack-only packs just the streams whose path below the folder
// ("docs\\manual.txt") matches the wildcard (repeatable). Exit code 0 on success, 1 on failure, 2 for a wrong command line.

#include "tools/cfsbuild/PackageBuilder.h"

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

void PrintLine(FILE* target, const std::wstring& text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], length, nullptr, nullptr);
    std::fprintf(target, "%s\n", bytes.c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    PackageTools::SBuildOptions options;
    std::wstring paths[2];
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--plain")
            options.cipher = false;
        else if (argument == L"--pack")
            options.pack = true;
        else if (argument == L"--pack-only" && i + 1 < argc)
            options.packOnly.push_back(argv[++i]);
        else if (count < 2 && !argument.empty() && argument[0] != L'-')
            paths[count++] = argument;
        else
            count = 3;
    }
    if (count != 2) {
        PrintLine(stderr, L"usage: cfsbuild [--plain] [--pack] [--pack-only <wildcard>]... <folder> <package.cfs>");
        return 2;
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring error;
    const bool built = PackageTools::BuildPackage(paths[0], paths[1], options, error);
    CoUninitialize();
    if (!built) {
        PrintLine(stderr, L"cfsbuild: " + error);
        return 1;
    }
    return 0;
}
