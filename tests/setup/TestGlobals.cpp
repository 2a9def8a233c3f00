// The process-wide objects that setup's own main file defines.
#include "setup/engine/CmdLineHelper.h"

CCmdLineHelper g_CmdLine;
