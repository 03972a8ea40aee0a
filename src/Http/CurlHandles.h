// Move-only owners for libcurl's easy and multi handles.
#pragma once

#include <curl/curl.h>

#include "Runtime/WinHandle.h"

namespace Http {

struct EasyHandleTraits {
    using Value = CURL*;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { curl_easy_cleanup(h); }
};

struct MultiHandleTraits {
    using Value = CURLM*;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { curl_multi_cleanup(h); }
};

using UniqueEasyHandle = Runtime::UniqueResource<EasyHandleTraits>;
using UniqueMultiHandle = Runtime::UniqueResource<MultiHandleTraits>;

}  // namespace Http
