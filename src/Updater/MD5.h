// MD5 message digest (RFC 1321) over bytes fed in pieces or over a whole
// open file. The install step checks the downloaded package with it.
#pragma once

#include <cstdint>
#include <cstdio>

class MD5 {
public:
    MD5();
    // Digests the file from its current position to its end, then closes
    // it: the object takes the file over. The digest is finalized.
    explicit MD5(FILE* file);

    MD5(const MD5&) = delete;
    MD5& operator=(const MD5&) = delete;

    void update(const unsigned char* input, uint32_t length);
    void finalize();
    // 32 lower-case hexadecimal digits, valid as long as the object; empty
    // before finalize().
    const char* hex_digest();

private:
    void init();
    void transform(const unsigned char* block);

    uint32_t state_[4];
    uint32_t count_[2];  // message length in bits, low word first
    unsigned char buffer_[64];
    unsigned char digest_[16];
    bool finalized_;
    char hexText_[33];
};
