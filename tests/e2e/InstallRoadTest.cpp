#include "tests/e2e/SetupRun.h"

#include <gtest/gtest.h>
