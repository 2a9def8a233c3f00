// The command line of a redistributable installer.
#pragma once

#include "framework/WinString.h"

// The command line of a redistributable installer: its program part joined to
// setup's folder and quoted when it holds a blank, its arguments as given.
// Raises _com_error(E_INVALIDARG) when the path does not fit.
CString RedistCommandLine(const CString& folder, const CString& commandLine);
