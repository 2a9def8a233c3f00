// The start-up gate: refuses too old a Windows before the runtime starts.
#pragma once

// Shows "Setup Failure" and ends the process with exit code 1 on Windows 5.0 or
// older; returns on anything newer.
void CheckOSVersion();
