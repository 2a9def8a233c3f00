// One call of an export named on a command line.
#pragma once

#include "dllcall/CmdLineParser.h"

// One call of an export named on a command line: "dll-path entry-point arg...".
class CRunDLL
{
public:
    // Parses, loads the DLL, calls the export and frees the DLL. 1 on success, 0
    // on any failure; never raises.
    int Run(const wchar_t* commandLine);

private:
    Parser::CCmdLineParser m_Parser;
};
