#include "Http/DnsClient.h"

#include <gtest/gtest.h>

namespace {

TEST(DnsServerAddress, Table) {
    struct Case {
        const wchar_t* text;
        bool ok;
        const char* address;
        unsigned short port;
    } cases[] = {
        {L"127.0.0.1", true, "127.0.0.1", 53},
        {L"127.0.0.2:5353", true, "127.0.0.2", 5353},
        {L" 127.0.0.1 : 8753 ", true, "127.0.0.1", 8753},
        {L"127.0.0.1:65535", true, "127.0.0.1", 65535},
        {L"", false, nullptr, 0},
        {L"localhost", false, nullptr, 0},
        {L"dns.example.com:53", false, nullptr, 0},
        {L"127.0.0.1:", false, nullptr, 0},
        {L"127.0.0.1:0", false, nullptr, 0},
        {L"127.0.0.1:65536", false, nullptr, 0},
        {L"127.0.0.1:000053", false, nullptr, 0},
        {L"127.0.0.1:5x", false, nullptr, 0},
        {L"127.0.0.1:53:1", false, nullptr, 0},
        {L"127.0.0.1:-53", false, nullptr, 0},
        {L"255.255.255.255", false, nullptr, 0},
        {L"127.0.0.256", false, nullptr, 0},
        {L"::1", false, nullptr, 0},
        {L":53", false, nullptr, 0},
    };
    for (const Case& c : cases) {
        sockaddr_in server = {};
        ASSERT_EQ(c.ok, ParseDnsServer(c.text, server)) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(AF_INET, server.sin_family) << c.text;
        EXPECT_EQ(inet_addr(c.address), server.sin_addr.s_addr) << c.text;
        EXPECT_EQ(c.port, ntohs(server.sin_port)) << c.text;
    }
}

}  // namespace
