#include <gtest/gtest.h>

#include <windows.h>

#include "BuildSettings.h"
#include "Runtime/Endpoints.h"

namespace {

TEST(Endpoints, CompiledDefaultsPointAtLoopbackInTestBuilds) {
    SetEnvironmentVariableW(L"INSTALLER_UPDATE_URLS", nullptr);
    SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS", nullptr);
    SetEnvironmentVariableW(L"INSTALLER_AGREEMENT_URL", nullptr);
    const auto urls = UpdateDescriptionUrls();
    ASSERT_EQ(2u, urls.size());
    EXPECT_EQ(0u, urls[0].find(L"http://127.")) << "primary";
    EXPECT_EQ(0u, urls[1].find(L"http://127.")) << "fallback";
    const auto servers = SpareDnsServers();
    ASSERT_FALSE(servers.empty());
    for (const std::wstring& server : servers) EXPECT_EQ(0u, server.find(L"127."));
    EXPECT_EQ(0u, AgreementUrl().find(L"http://127."));
}

TEST(Endpoints, EnvironmentReplacesTheCompiledLists) {
    SetEnvironmentVariableW(L"INSTALLER_UPDATE_URLS", L"http://127.0.0.9:81/a.txt; http://127.0.0.9:82/b.txt");
    SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS", L"127.0.0.5:5300;;127.0.0.6");
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.9:81/a.txt", L"http://127.0.0.9:82/b.txt"}),
              UpdateDescriptionUrls());
    EXPECT_EQ((std::vector<std::wstring>{L"127.0.0.5:5300", L"127.0.0.6"}), SpareDnsServers());
    SetEnvironmentVariableW(L"INSTALLER_UPDATE_URLS", nullptr);
    SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS", nullptr);
}

}  // namespace
