// Expansion of the path variables and line breaks in the package's texts.
#include "setup/engine/VariableExpansion.h"

#include "common/tools/PathVariables.h"

void ExpandVariables(CString& text)
{
    CPathVariables& variables = GetPathVariables();
    const int limit = text.GetLength() + CPathVariables::kMaxGrowth;
    for (int pass = 0; pass < kMaxExpandPasses && text.GetLength() <= limit; ++pass) {
        if (!variables.Expand(text))
            break;
    }
}

void ExpandNewLines(CString& text)
{
    text.Replace(L"%NL%", L"\n\r");
}
