#pragma once

#include <QString>
#include <memory>

#include "web/bell_web_backend.h"
#include "web/web_access.h"
#include "web/web_server.h"
#include "web/web_settings.h"

namespace lingchao {

// The office page as the program runs it: sign-in, the program behind the page and the server, started from
// lingchao.ini and restarted when the settings window applies new settings. Lives on the windows' thread.
class WebService final {
public:
    explicit WebService(BellWebBackend::Parts parts, WarningBoard* warnings);
    ~WebService();

    // Starts the page when lingchao.ini turns it on; a failure is on the clock's mark (it costs no bell).
    void StartFromSettings();
    // Serves as `settings` say (stops when they turn it off): "" or why it could not start.
    std::string Apply(const WebSettings& settings);
    // The page's address while it runs, "" when off.
    std::string Address() const;

private:
    std::filesystem::path appFolder_;
    WarningBoard* warnings_;
    BellWebBackend backend_;
    WebAccess access_;
    WebServer server_;
};

}  // namespace lingchao
