// Expansion of the path variables and line breaks in the package's texts.
#pragma once

#include "framework/WinString.h"

// Replaces path variables in the text, pass after pass, until a pass replaces
// nothing, so that values naming further variables are expanded too. A value that
// names itself (directly or through others) stops after kMaxExpandPasses passes,
// or once the text has grown by more than CPathVariables::kMaxGrowth characters,
// with the text reached.
void ExpandVariables(CString& text);
const int kMaxExpandPasses = 32;

// Replaces every "%NL%" by a line feed followed by a carriage return.
void ExpandNewLines(CString& text);
