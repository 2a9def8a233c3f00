// Recognises a text that is a GUID.
#pragma once

// True when the whole text is a GUID: 8-4-4-4-12 hexadecimal digits in either case,
// each brace optional on its own.
bool IsGuidName(const wchar_t* text);
