// Process exit codes of setup.
#pragma once

// Process exit codes of setup.
enum ESetupExitCode : int
{
    SetupExitDone = 0,      // finished, no action chosen, package not loaded, failure after its message
    SetupExitStopped = 1,   // cancelled, declined, restart pending, Windows too old
    SetupExitRefused = 2,   // no administrator rights, uninstall-only package, reinstall refused
    SetupExitInternal = 3,  // an unexpected exception stopped setup
};
