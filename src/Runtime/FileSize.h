// The size of a local file, for the download task (how much is there to
// resume) and the update module (whether a failed download left anything).
#pragma once

#include <cstdint>
#include <string>

// The size in bytes, -1 when there is no such file. A file that another
// process holds open without read sharing is measured from its directory
// entry.
int64_t LocalFileSize(const std::wstring& path);
