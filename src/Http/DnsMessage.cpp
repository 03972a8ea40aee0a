#include "Http/DnsMessage.h"

#include <cstdio>
#include <cstring>

namespace DnsMessage {

namespace {

constexpr uint16_t kFlagsRecursionDesired = 0x0100;
constexpr uint16_t kFlagAuthoritative = 0x0400;
constexpr uint16_t kFlagRecursionAvailable = 0x0080;
// Response, standard query, not truncated, recursion desired, no error.
constexpr uint16_t kFlagsUsableResponse = 0x8100;
constexpr uint16_t kClassIn = 1;
// TYPE, CLASS, TTL and RDLENGTH after a record's name.
constexpr size_t kRecordFixedSize = 10;
// A length byte of 64 or more starts a compression pointer.
constexpr uint8_t kPointerMarker = 64;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

}  // namespace

bool EncodeName(const std::string& host, std::vector<uint8_t>& out) {
    std::vector<uint8_t> name;
    size_t start = 0;
    while (start <= host.size()) {
        size_t end = host.find('.', start);
        if (end == std::string::npos) end = host.size();
        const size_t length = end - start;
        if (length > kMaxLabelSize) return false;
        if (length > 0) {
            name.push_back(static_cast<uint8_t>(length));
            name.insert(name.end(), host.begin() + start, host.begin() + end);
        }
        start = end + 1;
    }
    if (name.empty()) return false;
    name.push_back(0);
    if (name.size() > kMaxEncodedNameSize) return false;
    out.insert(out.end(), name.begin(), name.end());
    return true;
}

std::vector<uint8_t> BuildQuery(uint16_t id, const std::string& host) {
    std::vector<uint8_t> query;
    query.reserve(kQueryBufferSize);
    // The id goes out as the machine stores it; answers echo the same bytes.
    uint8_t idBytes[2];
    std::memcpy(idBytes, &id, sizeof idBytes);
    query.assign(idBytes, idBytes + 2);
    AppendU16(query, kFlagsRecursionDesired);
    AppendU16(query, 1);  // QDCOUNT
    AppendU16(query, 0);  // ANCOUNT
    AppendU16(query, 0);  // NSCOUNT
    AppendU16(query, 0);  // ARCOUNT
    if (!EncodeName(host, query)) return {};
    AppendU16(query, kTypeA);
    AppendU16(query, kClassIn);
    return query;
}

bool DecodeName(const uint8_t* data, size_t size, size_t position, bool followPointers,
                std::string& text, size_t& consumed) {
    text.clear();
    consumed = 0;
    size_t pos = position;
    bool jumped = false;
    int jumps = 0;
    for (;;) {
        if (pos >= size) return false;
        const uint8_t length = data[pos];
        if (length == 0) {
            if (!jumped) consumed = pos + 1 - position;
            break;
        }
        if (length >= kPointerMarker) {
            if (!followPointers || pos + 1 >= size || ++jumps > kMaxPointerJumps) return false;
            if (!jumped) consumed = pos + 2 - position;
            jumped = true;
            pos = static_cast<size_t>(length & 0x3F) << 8 | data[pos + 1];
            continue;
        }
        // The label, its dot and a terminator must fit the text buffer.
        if (pos + 1 + length > size || text.size() + length + 2 > kNameTextCapacity) return false;
        text.append(reinterpret_cast<const char*>(data + pos + 1), length);
        text.push_back('.');
        pos += 1 + length;
    }
    if (!text.empty()) text.pop_back();
    return true;
}

bool IsUsableResponse(const uint8_t* data, size_t size, uint16_t id) {
    if (size < kHeaderSize) return false;
    uint16_t answerId;
    std::memcpy(&answerId, data, sizeof answerId);
    if (answerId != id) return false;
    const uint16_t flags = ReadU16(data + 2) & ~(kFlagAuthoritative | kFlagRecursionAvailable);
    return flags == kFlagsUsableResponse && ReadU16(data + 6) > 0;
}

bool ParseAddresses(const uint8_t* data, size_t size, std::vector<Ipv4Address>& addresses) {
    addresses.clear();
    std::vector<Ipv4Address> found;
    if (size < kHeaderSize) return false;
    const unsigned questions = ReadU16(data + 4);
    const unsigned answers = ReadU16(data + 6);
    size_t pos = kHeaderSize;
    std::string name;
    size_t consumed = 0;
    for (unsigned i = 0; i < questions; ++i) {
        if (!DecodeName(data, size, pos, false, name, consumed)) return false;
        pos += consumed + kQuestionTailSize;
        if (pos > size) return false;
    }
    for (unsigned i = 0; i < answers; ++i) {
        if (!DecodeName(data, size, pos, true, name, consumed)) return false;
        pos += consumed;
        if (size - pos < kRecordFixedSize) return false;
        const uint16_t type = ReadU16(data + pos);
        const size_t dataLength = ReadU16(data + pos + 8);
        const size_t dataPos = pos + kRecordFixedSize;
        if (size - dataPos < dataLength) return false;
        if (type == kTypeA) {
            if (dataLength != 4) return false;
            found.push_back(
                {data[dataPos], data[dataPos + 1], data[dataPos + 2], data[dataPos + 3]});
        } else if (type == kTypeCname) {
            if (!DecodeName(data, size, dataPos, true, name, consumed)) return false;
        }
        pos = dataPos + dataLength;
    }
    addresses.swap(found);
    return true;
}

std::string JoinAddresses(const std::vector<Ipv4Address>& addresses) {
    std::string joined;
    for (const Ipv4Address& a : addresses) {
        char text[16];
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
        if (!joined.empty()) joined.push_back(';');
        joined += text;
    }
    return joined;
}

}  // namespace DnsMessage
