// The network endpoints the installer talks to. Each is compiled in (the
// release build carries the real hosts, other builds loopback) and can be
// replaced at run time through an environment variable, which is how tests
// and the demo point the installer at their own local servers.
#pragma once

#include <string>
#include <vector>

// The update description URLs, primary first then fallback.
// Override: INSTALLER_UPDATE_URLS="primary;fallback".
std::vector<std::wstring> UpdateDescriptionUrls();

// The spare DNS servers in the order they are asked, as "address[:port]"
// (port 53 when none is given). Override: INSTALLER_SPARE_DNS="a[:p];b[:p]".
std::vector<std::wstring> SpareDnsServers();

// The licence agreement page.
std::wstring AgreementUrl();
