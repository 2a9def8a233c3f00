#pragma once

// The COM support of the whole code base: <comdef.h> and the smart-pointer types
// that its GCC flavour leaves out.
#include <windows.h>
#include <objbase.h>
#include <comdef.h>

_COM_SMARTPTR_TYPEDEF(IStorage, __uuidof(IStorage));
_COM_SMARTPTR_TYPEDEF(IStream, __uuidof(IStream));
_COM_SMARTPTR_TYPEDEF(ILockBytes, __uuidof(ILockBytes));
_COM_SMARTPTR_TYPEDEF(IEnumSTATSTG, __uuidof(IEnumSTATSTG));
_COM_SMARTPTR_TYPEDEF(IMalloc, __uuidof(IMalloc));
