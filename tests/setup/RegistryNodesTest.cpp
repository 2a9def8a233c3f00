#include "tests/setup/EngineFixture.h"
