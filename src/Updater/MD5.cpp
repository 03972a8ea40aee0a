#include "Updater/MD5.h"

#include <cstring>

namespace {

// The file reader asks for this much per fread; the stream itself reads
// ahead in larger pieces (see MD5(FILE*)).
constexpr size_t kFileBlockSize = 1024;
constexpr size_t kStreamBufferSize = 1 << 20;

inline uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// Windows on x86 is little-endian, the byte order of the digest's words, so
// a word is loaded as it lies (unaligned loads are fine there).
inline uint32_t LoadWord(const unsigned char* p) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

inline void StoreLittleEndian(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// The round functions of rounds 1, 3 and 4, each in few operations; round
// 2 has its own step below.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (x | ~z);
}

// One step of a round: a = b + ((a + f(b, c, d) + x + ac) <<< s). The
// message word and constant are added first, off the chain that waits for
// b, c and d.
template <uint32_t (*Round)(uint32_t, uint32_t, uint32_t)>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
    a += x + ac;
    a += Round(b, c, d);
    a = RotateLeft(a, s) + b;
}

// The second round's G(b, c, d) = (b & d) | (c & ~d): the two halves never
// share a bit, so they can be added one at a time, the one without b first.
inline void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
    a += x + ac;
    a += c & ~d;
    a += b & d;
    a = RotateLeft(a, s) + b;
}

}  // namespace

MD5::MD5() {
    init();
}

MD5::MD5(FILE* file) {
    init();
    if (!file) return;
    // A large stream buffer keeps the 1024-byte reads from turning into
    // one system call each.
    setvbuf(file, nullptr, _IOFBF, kStreamBufferSize);
    unsigned char block[kFileBlockSize];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0) update(block, static_cast<uint32_t>(n));
    fclose(file);
    finalize();
}

void MD5::init() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    count_[0] = count_[1] = 0;
    std::memset(buffer_, 0, sizeof buffer_);
    std::memset(digest_, 0, sizeof digest_);
    finalized_ = false;
    hexText_[0] = '\0';
}

void MD5::update(const unsigned char* input, uint32_t length) {
    if (finalized_) {
        fputs("MD5::update:  Can't update a finalized digest!\n", stderr);
        return;
    }
    if (length == 0) return;
    uint32_t index = (count_[0] >> 3) & 0x3f;  // bytes already in the buffer
    const uint32_t lowBits = length << 3;
    count_[0] += lowBits;
    if (count_[0] < lowBits) ++count_[1];
    count_[1] += length >> 29;

    const uint32_t partLength = 64 - index;
    uint32_t i = 0;
    if (length >= partLength) {
        std::memcpy(buffer_ + index, input, partLength);
        transform(buffer_);
        for (i = partLength; i + 63 < length; i += 64) transform(input + i);
        index = 0;
    }
    std::memcpy(buffer_ + index, input + i, length - i);
}

void MD5::finalize() {
    if (finalized_) {
        fputs("MD5::finalize:  Already finalized this digest!\n", stderr);
        return;
    }
    static const unsigned char kPadding[64] = {0x80};
    unsigned char bits[8];
    StoreLittleEndian(bits, count_[0]);
    StoreLittleEndian(bits + 4, count_[1]);
    // Pad to 56 bytes modulo 64, then append the length before padding.
    const uint32_t index = (count_[0] >> 3) & 0x3f;
    const uint32_t padLength = index < 56 ? 56 - index : 120 - index;
    update(kPadding, padLength);
    update(bits, 8);
    for (int i = 0; i < 4; ++i) StoreLittleEndian(digest_ + 4 * i, state_[i]);
    std::memset(buffer_, 0, sizeof buffer_);
    finalized_ = true;
}

const char* MD5::hex_digest() {
    if (!finalized_) {
        fputs("MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n", stderr);
        hexText_[0] = '\0';
        return hexText_;
    }
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        hexText_[2 * i] = kDigits[digest_[i] >> 4];
        hexText_[2 * i + 1] = kDigits[digest_[i] & 0x0f];
    }
    hexText_[32] = '\0';
    return hexText_;
}

void MD5::transform(const unsigned char* block) {
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadWord(block + 4 * i);

    Step<F>(a, b, c, d, x[0], 7, 0xd76aa478);
    Step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
    Step<F>(c, d, a, b, x[2], 17, 0x242070db);
    Step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
    Step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);
    Step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
    Step<F>(c, d, a, b, x[6], 17, 0xa8304613);
    Step<F>(b, c, d, a, x[7], 22, 0xfd469501);
    Step<F>(a, b, c, d, x[8], 7, 0x698098d8);
    Step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
    Step<F>(c, d, a, b, x[10], 17, 0xffff5bb1);
    Step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
    Step<F>(a, b, c, d, x[12], 7, 0x6b901122);
    Step<F>(d, a, b, c, x[13], 12, 0xfd987193);
    Step<F>(c, d, a, b, x[14], 17, 0xa679438e);
    Step<F>(b, c, d, a, x[15], 22, 0x49b40821);

    StepG(a, b, c, d, x[1], 5, 0xf61e2562);
    StepG(d, a, b, c, x[6], 9, 0xc040b340);
    StepG(c, d, a, b, x[11], 14, 0x265e5a51);
    StepG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    StepG(a, b, c, d, x[5], 5, 0xd62f105d);
    StepG(d, a, b, c, x[10], 9, 0x02441453);
    StepG(c, d, a, b, x[15], 14, 0xd8a1e681);
    StepG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    StepG(a, b, c, d, x[9], 5, 0x21e1cde6);
    StepG(d, a, b, c, x[14], 9, 0xc33707d6);
    StepG(c, d, a, b, x[3], 14, 0xf4d50d87);
    StepG(b, c, d, a, x[8], 20, 0x455a14ed);
    StepG(a, b, c, d, x[13], 5, 0xa9e3e905);
    StepG(d, a, b, c, x[2], 9, 0xfcefa3f8);
    StepG(c, d, a, b, x[7], 14, 0x676f02d9);
    StepG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    Step<H>(a, b, c, d, x[5], 4, 0xfffa3942);
    Step<H>(d, a, b, c, x[8], 11, 0x8771f681);
    Step<H>(c, d, a, b, x[11], 16, 0x6d9d6122);
    Step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
    Step<H>(a, b, c, d, x[1], 4, 0xa4beea44);
    Step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
    Step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);
    Step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
    Step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);
    Step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
    Step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);
    Step<H>(b, c, d, a, x[6], 23, 0x04881d05);
    Step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);
    Step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
    Step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8);
    Step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

    Step<I>(a, b, c, d, x[0], 6, 0xf4292244);
    Step<I>(d, a, b, c, x[7], 10, 0x432aff97);
    Step<I>(c, d, a, b, x[14], 15, 0xab9423a7);
    Step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
    Step<I>(a, b, c, d, x[12], 6, 0x655b59c3);
    Step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
    Step<I>(c, d, a, b, x[10], 15, 0xffeff47d);
    Step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
    Step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);
    Step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    Step<I>(c, d, a, b, x[6], 15, 0xa3014314);
    Step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
    Step<I>(a, b, c, d, x[4], 6, 0xf7537e82);
    Step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
    Step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    Step<I>(b, c, d, a, x[9], 21, 0xeb86d391);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}
