// Records of the DLL-call library in the debug log.
#pragma once

// Records of the DLL-call library in the process's debug log. The line numbers
// are fixed record numbers, not source lines, so that logs read the same whatever
// the source looks like.
namespace DllCall {

// "[" date "-" time "] " function "(" line ") - " text, or ... "(" line ")" when
// text is null. With bEnd false the record stays in the buffer and the next
// record is appended to it.
void LogRecord(int level, const char* function, int line, const wchar_t* text, bool bEnd = true);

} // namespace DllCall
