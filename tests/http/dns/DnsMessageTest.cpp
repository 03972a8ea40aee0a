#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Http/DnsMessage.h"

namespace {

using Bytes = std::vector<uint8_t>;
using DnsMessage::Ipv4Address;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Label(const std::string& text) {
    Bytes out{static_cast<uint8_t>(text.size())};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// "a.b" as labels and the zero byte, written by hand (not by EncodeName).
Bytes Name(const std::string& dotted) {
    Bytes out;
    size_t start = 0;
    while (start < dotted.size()) {
        size_t end = dotted.find('.', start);
        if (end == std::string::npos) end = dotted.size();
        out = out + Label(dotted.substr(start, end - start));
        start = end + 1;
    }
    return out + Bytes{0};
}

Bytes Pointer(unsigned offset) {
    return {static_cast<uint8_t>(0xC0 | offset >> 8), static_cast<uint8_t>(offset)};
}
Bytes U16(unsigned value) {
    return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

constexpr uint16_t kId = 0x1234;

Bytes Header(unsigned flags, unsigned questions, unsigned answers, uint16_t id = kId) {
    Bytes out(2);
    std::memcpy(out.data(), &id, 2);  // the machine's byte order, as sent
    return out + U16(flags) + U16(questions) + U16(answers) + U16(0) + U16(0);
}

Bytes Question(const std::string& name) {
    return Name(name) + U16(1) + U16(1);
}

Bytes Record(const Bytes& owner, unsigned type, const Bytes& data) {
    return owner + U16(type) + U16(1) + Bytes{0, 0, 0, 60} +
           U16(static_cast<unsigned>(data.size())) + data;
}

Bytes A(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return {a, b, c, d};
}

Bytes Prefix(const Bytes& bytes, size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + size);
}

// ---- EncodeName and BuildQuery ----

TEST(DnsEncodeName, Table) {
    const std::string label63(63, 'a');
    const std::string label61(61, 'd');
    // 3 labels of 63 and one of 61: 3 * 64 + 62 + 1 = 255 bytes, the most.
    const std::string longest = label63 + "." + label63 + "." + label63 + "." + label61;
    struct Case {
        std::string host;
        bool ok;
        Bytes expected;
    } cases[] = {
        {"a.bc", true, Name("a.bc")},
        {"a.bc.", true, Name("a.bc")},
        {".a..bc", true, Name("a.bc")},
        {"localhost", true, Name("localhost")},
        {label63 + ".x", true, Name(label63 + ".x")},
        {longest, true, Name(longest)},
        {longest + "d", false, {}},                // 256 bytes
        {std::string(64, 'a') + ".x", false, {}},  // its length byte would read as a pointer
        {"", false, {}},
        {".", false, {}},
        {"...", false, {}},
    };
    for (const Case& c : cases) {
        Bytes out{0xEE};
        EXPECT_EQ(c.ok, DnsMessage::EncodeName(c.host, out)) << c.host;
        EXPECT_EQ(Bytes{0xEE} + c.expected, out) << c.host << " (appended, or nothing on failure)";
    }
    EXPECT_EQ(255u, Name(longest).size());
}

TEST(DnsBuildQuery, HeaderNameTypeAndClass) {
    const Bytes expected = Header(0x0100, 1, 0) + Name("www.example.com") + U16(1) + U16(1);
    EXPECT_EQ(expected, DnsMessage::BuildQuery(kId, "www.example.com"));
    EXPECT_EQ(17u + 16u, expected.size()) << "17 bytes plus the labels with their length bytes";
    // On this little-endian machine the id 0x1234 goes out as 34 12.
    EXPECT_EQ(0x34, expected[0]);
    EXPECT_EQ(0x12, expected[1]);
}

TEST(DnsBuildQuery, TrailingDotGivesTheSameQuery) {
    EXPECT_EQ(DnsMessage::BuildQuery(7, "update.example.com"),
              DnsMessage::BuildQuery(7, "update.example.com."));
}

TEST(DnsBuildQuery, LongestNameFillsTheBufferAndLongerFails) {
    std::string host;
    for (int i = 0; i < 4; ++i) host += (i ? "." : "") + std::string(i < 3 ? 63 : 61, 'h');
    EXPECT_EQ(DnsMessage::kQueryBufferSize, DnsMessage::BuildQuery(1, host).size());
    EXPECT_EQ(271u, DnsMessage::kQueryBufferSize);
    EXPECT_TRUE(DnsMessage::BuildQuery(1, host + "h").empty());
    EXPECT_TRUE(DnsMessage::BuildQuery(1, std::string(300, 'a')).empty());
    EXPECT_TRUE(DnsMessage::BuildQuery(1, "").empty());
}

// ---- DecodeName ----

TEST(DnsDecodeName, Table) {
    // A message prefix: 12 header bytes, then the name "example.com" at 12.
    const Bytes base = Header(0x8180, 1, 1) + Name("example.com");  // name at 12..24
    const std::string label63(63, 'x');
    struct Case {
        const char* what;
        Bytes message;
        size_t position;
        bool followPointers;
        bool ok;
        std::string text;
        size_t consumed;
    } cases[] = {
        {"plain", base, 12, true, true, "example.com", 13},
        {"plain without pointers allowed", base, 12, false, true, "example.com", 13},
        {"root", base + Bytes{0}, 25, true, true, "", 1},
        {"pointer", base + Pointer(12), 25, true, true, "example.com", 2},
        {"label then pointer", base + Label("www") + Pointer(12), 25, true, true, "www.example.com",
         6},
        {"pointer to a suffix", base + Pointer(20), 25, true, true, "com", 2},
        {"chain of pointers", base + Label("a") + Pointer(12) + Label("b") + Pointer(25), 29, true,
         true, "b.a.example.com", 4},
        {"pointer where none is allowed", base + Pointer(12), 25, false, false, "", 0},
        {"pointer to itself", base + Pointer(25), 25, true, false, "", 0},
        {"two pointers in a loop", base + Pointer(27) + Pointer(25), 25, true, false, "", 0},
        {"label looping back", base + Label("a") + Pointer(25), 25, true, false, "", 0},
        {"pointer past the end", base + Pointer(0x3FF), 25, true, false, "", 0},
        {"pointer cut after its first byte", base + Bytes{0xC0}, 25, true, false, "", 0},
        {"label past the end", base + Bytes{5, 'a', 'b'}, 25, true, false, "", 0},
        {"no closing zero byte", base + Label("abc"), 25, true, false, "", 0},
        {"position past the end", base, 40, true, false, "", 0},
        // 63 + 62 letters: 127 bytes with the dots, 128 with the terminator.
        {"longest text", base + Name(label63 + "." + std::string(62, 'y')), 25, true, true,
         label63 + "." + std::string(62, 'y'), 128},
        {"text too long", base + Name(label63 + "." + label63), 25, true, false, "", 0},
    };
    for (const Case& c : cases) {
        std::string text = "stale";
        size_t consumed = 99;
        EXPECT_EQ(c.ok, DnsMessage::DecodeName(c.message.data(), c.message.size(), c.position,
                                               c.followPointers, text, consumed))
            << c.what;
        if (c.ok) {
            EXPECT_EQ(c.text, text) << c.what;
            EXPECT_EQ(c.consumed, consumed) << c.what;
        }
    }
}

// ---- IsUsableResponse ----

TEST(DnsUsableResponse, Table) {
    const Bytes body = Question("a.test") + Record(Pointer(12), 1, A(1, 2, 3, 4));
    struct Case {
        const char* what;
        Bytes datagram;
        bool usable;
    } cases[] = {
        {"answer", Header(0x8180, 1, 1) + body, true},
        {"authoritative", Header(0x8580, 1, 1) + body, true},
        {"without recursion available", Header(0x8100, 1, 1) + body, true},
        {"truncated", Header(0x8380, 1, 1) + body, false},
        {"name error", Header(0x8183, 1, 1) + body, false},
        {"server failure", Header(0x8182, 1, 1) + body, false},
        {"a query, not a response", Header(0x0180, 1, 1) + body, false},
        {"recursion desired not echoed", Header(0x8080, 1, 1) + body, false},
        {"other opcode", Header(0x8980, 1, 1) + body, false},
        {"no answer records", Header(0x8180, 1, 0) + Question("a.test"), false},
        {"foreign id", Header(0x8180, 1, 1, kId ^ 0xFFFF) + body, false},
        {"id bytes swapped", Header(0x8180, 1, 1, 0x3412) + body, false},
        {"shorter than a header", Prefix(Header(0x8180, 1, 1), 11), false},
        {"empty", Bytes{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.usable, DnsMessage::IsUsableResponse(c.datagram.data(), c.datagram.size(), kId))
            << c.what;
}

// ---- ParseAddresses ----

TEST(DnsParseAddresses, Table) {
    const Bytes question = Question("a.test");  // at 12, 12 bytes
    const Bytes one = Record(Pointer(12), 1, A(10, 0, 0, 1));
    const Bytes two = Record(Pointer(12), 1, A(10, 0, 0, 2));
    // CNAME "alias" + pointer to the question; its data starts at 24+12 = 36.
    const Bytes cname = Record(Pointer(12), 5, Label("alias") + Pointer(12));
    const Bytes aliasA = Record(Pointer(36), 1, A(10, 0, 0, 3));
    const Bytes aaaa = Record(Pointer(12), 28, Bytes(16, 0));
    const Bytes full = Header(0x8180, 1, 2) + question + one + two;
    struct Case {
        const char* what;
        Bytes datagram;
        bool ok;
        std::vector<Ipv4Address> addresses;
    } cases[] = {
        {"one A record", Header(0x8180, 1, 1) + question + one, true, {{10, 0, 0, 1}}},
        {"two A records in answer order", full, true, {{10, 0, 0, 1}, {10, 0, 0, 2}}},
        {"CNAME before the A record",
         Header(0x8180, 1, 2) + question + cname + aliasA,
         true,
         {{10, 0, 0, 3}}},
        {"no A record", Header(0x8180, 1, 1) + question + aaaa, true, {}},
        {"owner name written out",
         Header(0x8180, 1, 1) + question + Record(Name("a.test"), 1, A(1, 1, 1, 1)),
         true,
         {{1, 1, 1, 1}}},
        {"no question",
         Header(0x8180, 0, 1) + Record(Name("a.test"), 1, A(10, 0, 0, 1)),
         true,
         {{10, 0, 0, 1}}},
        {"question name with a pointer",
         Header(0x8180, 1, 1) + Pointer(12) + U16(1) + U16(1) + one,
         false,
         {}},
        {"question cut", Header(0x8180, 1, 1) + Name("a.test") + U16(1), false, {}},
        {"datagram ends in the record data", Prefix(full, full.size() - 2), false, {}},
        {"datagram ends in the fixed part", Prefix(full, full.size() - 9), false, {}},
        {"data length past the end",
         Header(0x8180, 1, 1) + question + Pointer(12) + U16(1) + U16(1) + Bytes{0, 0, 0, 60} +
             U16(200) + A(1, 2, 3, 4),
         false,
         {}},
        {"more records announced than sent",
         Header(0x8180, 1, 3) + question + one + two,
         false,
         {}},
        {"A record with 5 data bytes",
         Header(0x8180, 1, 1) + question + Record(Pointer(12), 1, Bytes{1, 2, 3, 4, 5}),
         false,
         {}},
        {"A record with 3 data bytes",
         Header(0x8180, 1, 1) + question + Record(Pointer(12), 1, Bytes{1, 2, 3}),
         false,
         {}},
        {"owner name in a pointer loop",
         Header(0x8180, 1, 1) + question + Record(Pointer(24), 1, A(1, 2, 3, 4)),
         false,
         {}},
        {"owner name pointing past the end",
         Header(0x8180, 1, 1) + question + Record(Pointer(0x3FF), 1, A(1, 2, 3, 4)),
         false,
         {}},
        {"CNAME target in a pointer loop",
         Header(0x8180, 1, 2) + question + Record(Pointer(12), 5, Pointer(36)) + one,
         false,
         {}},
        {"header only", Header(0x8180, 1, 1), false, {}},
    };
    for (const Case& c : cases) {
        std::vector<Ipv4Address> addresses{{9, 9, 9, 9}};
        EXPECT_EQ(c.ok, DnsMessage::ParseAddresses(c.datagram.data(), c.datagram.size(), addresses))
            << c.what;
        EXPECT_EQ(c.addresses, addresses) << c.what;
    }
}

TEST(DnsParseAddresses, ReadsNothingPastTheReceivedLength) {
    // The same answer in a larger buffer: only the received bytes count.
    const Bytes answer =
        Header(0x8180, 1, 1) + Question("a.test") + Record(Pointer(12), 1, A(10, 0, 0, 1));
    Bytes buffer = answer + Bytes(1000, 0xC0);
    std::vector<Ipv4Address> addresses;
    EXPECT_TRUE(DnsMessage::ParseAddresses(buffer.data(), answer.size(), addresses));
    EXPECT_FALSE(DnsMessage::ParseAddresses(buffer.data(), answer.size() - 1, addresses));
}

TEST(DnsJoinAddresses, Table) {
    EXPECT_EQ("", DnsMessage::JoinAddresses({}));
    EXPECT_EQ("127.0.0.1", DnsMessage::JoinAddresses({{127, 0, 0, 1}}));
    EXPECT_EQ("10.0.0.1;255.0.10.200",
              DnsMessage::JoinAddresses({{10, 0, 0, 1}, {255, 0, 10, 200}}));
}

}  // namespace
