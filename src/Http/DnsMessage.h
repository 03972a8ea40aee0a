// DNS wire format for the spare resolver: the A-record query it sends and
// the parts of an answer it reads. Pure functions over byte buffers; every
// read is checked against the length of the buffer it was given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace DnsMessage {

constexpr size_t kHeaderSize = 12;
// Labels plus the closing zero byte; the most a DNS name may take.
constexpr size_t kMaxEncodedNameSize = 255;
constexpr size_t kMaxLabelSize = 63;
constexpr size_t kQuestionTailSize = 4;  // QTYPE and QCLASS
constexpr size_t kQueryBufferSize = kHeaderSize + kMaxEncodedNameSize + kQuestionTailSize;  // 271
// Larger datagrams are not read (the receive fails and they are ignored).
constexpr size_t kMaxDatagramSize = 1024;
// A decoded name, each label followed by ".", plus a terminator must fit.
constexpr size_t kNameTextCapacity = 128;
// A name in a message reached through more pointers than this is a loop.
constexpr int kMaxPointerJumps = 64;

constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypeCname = 5;

using Ipv4Address = std::array<uint8_t, 4>;

// Appends the host's labels, each as a length byte and its bytes, and the
// closing zero byte. Empty labels (a leading, trailing or doubled dot) are
// left out. False, with `out` unchanged, when the host has no label, a label
// is longer than 63 bytes (its length byte would read as a pointer) or the
// name would take more than 255 bytes.
bool EncodeName(const std::string& host, std::vector<uint8_t>& out);

// The query datagram for the host's A records: header with `id` stored in
// the machine's byte order, recursion desired, one question of type A and
// class IN; at most kQueryBufferSize bytes. Empty when the name cannot be
// encoded.
std::vector<uint8_t> BuildQuery(uint16_t id, const std::string& host);

// Decodes the name at `position` of the `size` bytes at `data` into dotted
// text without the final dot; the root name gives "". `consumed` is the
// number of bytes the name takes where it starts (up to its first pointer).
// Compression pointers are followed only when `followPointers` is set.
// Fails on a read past `size`, a pointer where pointers are not allowed,
// more than kMaxPointerJumps pointers, or text that would not fit
// kNameTextCapacity.
bool DecodeName(const uint8_t* data, size_t size, size_t position, bool followPointers,
                std::string& text, size_t& consumed);

// True for a datagram that answers query `id` usably: a full header with
// that id, flags (ignoring AA and RA) of a successful, untruncated response
// to a recursive standard query, and at least one answer record.
bool IsUsableResponse(const uint8_t* data, size_t size, uint16_t id);

// Reads the A addresses of an answer, in answer order. Question names must
// not use pointers; answer names and CNAME targets may. False when any name
// cannot be decoded, a record runs past the end of the datagram, or an A
// record's data is not 4 bytes; `addresses` is then empty. An answer
// without A records gives true and no addresses.
bool ParseAddresses(const uint8_t* data, size_t size, std::vector<Ipv4Address>& addresses);

// "a.b.c.d" for each address, joined with ";".
std::string JoinAddresses(const std::vector<Ipv4Address>& addresses);

}  // namespace DnsMessage
