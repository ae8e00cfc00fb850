#include "platform/Browser.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace kestrine::platform {

namespace {

class DesktopBrowser final : public BrowserHandler {
public:
    bool Open(const std::string& url) override
    {
        const QUrl target(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())), QUrl::StrictMode);
        // Only web addresses: anything else would make "open" start whatever program handles it.
        if (!target.isValid() || (target.scheme() != u"https" && target.scheme() != u"http")) return false;
        return QDesktopServices::openUrl(target);
    }
};

DesktopBrowser desktop;
// Which handler opens addresses; only RecordingBrowser changes it.
BrowserHandler* installed = &desktop;

}  // namespace

bool OpenInBrowser(const std::string& url) { return installed->Open(url); }

RecordingBrowser::RecordingBrowser() : previous_(installed) { installed = this; }

RecordingBrowser::~RecordingBrowser() { installed = previous_; }

bool RecordingBrowser::Open(const std::string& url)
{
    opened_.push_back(url);
    return true;
}

}  // namespace kestrine::platform
