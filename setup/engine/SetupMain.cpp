// The process-wide objects of setup, defined in one file so that their order is
// the order of construction: the application object, the command line, GDI+.
// They are destroyed in reverse: GDI+ is shut down first, the application last.
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/GdiplusScope.h"
#include "setup/engine/SetupApp.h"

CSetupApp theApp;
CCmdLineHelper g_CmdLine;
CGdiplusScope g_GdiplusScope;
