#include <gtest/gtest.h>

#include "AppContext.h"

namespace {

TEST(Channel, TakesTheLeadingIntegerKeptTo16Bits) {
    struct Case {
        const wchar_t* commandLine;
        uint16_t channel;
    } cases[] = {
        {L"", 0},          {L"0", 0},        {L"abc", 0},     {L"7", 7},
        {L"70000", 4464},  {L"-1", 65535},   {L"  12abc", 12}, {L"+33", 33},
        {L"12 34", 12},    {L"\t5", 5},      {L"65535", 65535}, {L"65536", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.channel, ParseChannel(c.commandLine)) << "command line [" << c.commandLine << "]";
}

}  // namespace
