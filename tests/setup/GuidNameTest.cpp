// Tests of the GUID name check.
#include "setup/engine/GuidName.h"

#include <gtest/gtest.h>

namespace {

TEST(IsGuidName, Forms)
{
    struct Case {
        const wchar_t* text;
        bool guid;
    } cases[] = {
        {L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", true},
        {L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", true},
        {L"{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", true},
        {L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}", true},
        {L"{{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}", false},
        {L" 0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", false},
        {L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9x", false},
        {L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f", false},
        {L"0a1b2c3d4e5f-6071-8293-a4b5c6d7e8f9", false},
        {L"0g1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", false},
        {L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}}", false},
        {L"{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}x", false},
        {L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f90", false},
        {L"{0a1b2c3d-4e5f-6071-8293a4b5c6d7e8f9}", false},
        {L"", false},
        {nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.guid, IsGuidName(c.text)) << (c.text ? c.text : L"(null)");
}

} // namespace
