#pragma once
#include <string>
#include <vector>

namespace kestrine::platform {

// Opening a web address in the user's browser (the "open" verb on a URL).
class BrowserHandler {
public:
    virtual ~BrowserHandler() = default;
    virtual bool Open(const std::string& url) = 0;
};

// Opens the address with the desktop's default browser, through the installed handler.
// The result says whether the desktop accepted the request; callers may ignore it.
bool OpenInBrowser(const std::string& url);

// For tests: records addresses instead of opening them, for its lifetime.
class RecordingBrowser final : public BrowserHandler {
public:
    RecordingBrowser();
    ~RecordingBrowser() override;
    RecordingBrowser(const RecordingBrowser&) = delete;
    RecordingBrowser& operator=(const RecordingBrowser&) = delete;

    bool Open(const std::string& url) override;
    const std::vector<std::string>& Opened() const { return opened_; }

private:
    BrowserHandler* previous_;
    std::vector<std::string> opened_;
};

}  // namespace kestrine::platform
