#include "Runtime/Endpoints.h"

#include <windows.h>

#include "BuildSettings.h"
#include "Runtime/StringUtils.h"

namespace {

// The environment variable's value, or `fallback` when it is unset or empty.
std::wstring Setting(const wchar_t* variable, const wchar_t* fallback) {
    wchar_t buffer[4096];
    DWORD n = GetEnvironmentVariableW(variable, buffer, ARRAYSIZE(buffer));
    if (n == 0 || n >= ARRAYSIZE(buffer)) return fallback;
    return std::wstring(buffer, n);
}

std::vector<std::wstring> NonEmptyPieces(const std::wstring& list) {
    std::vector<std::wstring> pieces;
    SplitString(list, pieces);
    std::vector<std::wstring> kept;
    for (std::wstring& piece : pieces)
        if (TrimString(piece).find_first_not_of(L" \t\r\n") != std::wstring::npos)
            kept.push_back(piece);
    return kept;
}

}  // namespace

std::vector<std::wstring> UpdateDescriptionUrls() {
    std::wstring compiled = INSTALLER_UPDATE_URL_PRIMARY L";" INSTALLER_UPDATE_URL_FALLBACK;
    return NonEmptyPieces(Setting(L"INSTALLER_UPDATE_URLS", compiled.c_str()));
}

std::vector<std::wstring> SpareDnsServers() {
    return NonEmptyPieces(Setting(L"INSTALLER_SPARE_DNS", INSTALLER_SPARE_DNS));
}

std::wstring AgreementUrl() { return Setting(L"INSTALLER_AGREEMENT_URL", INSTALLER_AGREEMENT_URL); }
