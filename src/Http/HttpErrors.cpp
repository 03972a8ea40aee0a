#include "Http/HttpErrors.h"

const wchar_t* HttpErrTypeName(int type) {
    static const wchar_t* const names[] = {L"ok", L"sys", L"crt", L"user", L"http", L"curl"};
    if (type < 0 || type >= static_cast<int>(sizeof names / sizeof names[0])) return nullptr;
    return names[type];
}
