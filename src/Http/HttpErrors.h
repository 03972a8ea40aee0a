// Outcome pairs of the HTTP engine: an error type and a code.
//
// The type names are also the keys of a task's error record.
#pragma once

enum HttpErrType {
    kHttpErrOk = 0,    // "ok": no error
    kHttpErrSys = 1,   // "sys": an operating-system error reported by a sink
    kHttpErrCrt = 2,   // "crt": a C runtime error (never classified)
    kHttpErrUser = 3,  // "user": decided by the engine itself
    kHttpErrHttp = 4,  // "http": the HTTP status
    kHttpErrCurl = 5,  // "curl": the CURLcode
};

// The error record key of a type; null for a value outside the enumeration.
const wchar_t* HttpErrTypeName(int type);

// The engine's own codes.
enum HttpErrCode {
    kErrShortWrite = -12,           // a file write wrote fewer bytes than asked (sys)
    kErrWriteWithoutFile = 2001,    // a body chunk arrived with no open file (user)
    kErrLengthMismatch = 2007,      // Content-Length differs from the expected size (user)
    kErrBodyTooLarge = 2008,        // an in-memory body passed its size limit (user)
    kErrOpenLocalFile = 2020,       // the local file cannot be opened (sys)
};
