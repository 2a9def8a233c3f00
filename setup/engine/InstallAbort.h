// The user's stop of a road.
#pragma once

#include <stdexcept>

// The user's stop of a road: Cancel confirmed on a page, a "Break" node, an
// "Abort" answer, a cancelled lock check. The roads end with exit code 1 for this
// type only; any other logic error is a fault of the program and fails the road.
class CInstallAbort : public std::logic_error
{
public:
    CInstallAbort() : std::logic_error("") {}
};
