#include "web/web_service.h"

#include <utility>

#include "base/log.h"

namespace lingchao {

namespace {
WebAccess::Hashes HashesOf(const WebSettings& s) {
    return {s.dutyPassword, s.adminPassword, s.dutyToken, s.adminToken};
}
}  // namespace

WebService::WebService(BellWebBackend::Parts parts, WarningBoard* warnings)
    : appFolder_(parts.appFolder),
      warnings_(warnings),
      backend_(std::move(parts)),
      access_({}),
      server_(backend_, access_) {}

WebService::~WebService() { server_.Stop(); }

void WebService::StartFromSettings() {
    const WebSettings settings = ReadWebSettings(appFolder_);
    if (settings.enabled) Apply(settings);
}

std::string WebService::Apply(const WebSettings& settings) {
    access_.SetHashes(HashesOf(settings));
    if (!settings.enabled) {
        if (server_.Running()) LogLine("web: the office page is off");
        server_.Stop();
        if (warnings_ != nullptr) warnings_->Clear("web");
        return {};
    }
    const QString why = server_.Start(settings);
    if (!why.isEmpty()) {
        LogLine("web: the office page could not start: " + why.toStdString());
        if (warnings_ != nullptr) warnings_->Set("web", "网页控制无法开启：" + why.toStdString(), true);
        return why.toStdString();
    }
    LogLine("web: the office page is at " + server_.Address().toStdString() +
            (settings.certificate.isEmpty() ? " (plain HTTP)" : " (HTTPS)"));
    if (warnings_ != nullptr) warnings_->Clear("web");
    return {};
}

std::string WebService::Address() const { return server_.Address().toStdString(); }

}  // namespace lingchao
