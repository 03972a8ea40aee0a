// A request whose answer body is collected in memory and handed to a
// callback: the update description is fetched this way. Belongs to the
// command engine. Main thread only.
#pragma once

#include <string>

#include "Http/HttpBase.h"

// (user data, answer body, error type, code); the body is passed in every
// case, on failure holding whatever had arrived.
using HttpCommandCallback = void (*)(void* userData, const std::string& body, int errType, int code);

class CHttpCommand : public CHttpBase {
public:
    // Binds the task to the command engine's workshop as it is now; the
    // manager is bound when the task is submitted (SubmitCommandTask).
    CHttpCommand();
    ~CHttpCommand() override;

    bool Start() override;
    void Done(CURLcode code) override;
    void OnHttpCode(int status) override;

    // Sent only with kPost.
    void SetRequestBody(const std::string& body) { requestBody_ = body; }
    void SetCallback(HttpCommandCallback callback, void* userData) {
        callback_ = callback;
        userData_ = userData;
    }

private:
    std::string requestBody_;
    HttpCommandCallback callback_ = nullptr;
    void* userData_ = nullptr;
};
