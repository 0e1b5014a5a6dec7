#include "shutdown/guanji.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes.h"

namespace lingchao {
namespace {

class FakeRequester final : public ShutdownRequester {
public:
    explicit FakeRequester(std::vector<std::string>& log, ShutdownRequestResult answer)
        : log_(log), answer_(std::move(answer)) {}
    void Prepare() override { log_.push_back("prepare"); }
    ShutdownRequestResult Request() override {
        log_.push_back("request");
        return answer_;
    }

private:
    std::vector<std::string>& log_;
    ShutdownRequestResult answer_;
};

ShutdownHooks RecordingHooks(std::vector<std::string>& log) {
    ShutdownHooks h;
    h.releaseGuard = [&log] { log.push_back("releaseGuard"); };
    h.removeHotkeys = [&log] { log.push_back("removeHotkeys"); };
    h.installHotkeys = [&log] { log.push_back("installHotkeys"); };
    h.reacquireGuard = [&log] { log.push_back("reacquireGuard"); };
    h.endProgram = [&log] { log.push_back("endProgram"); };
    return h;
}

TEST(ShutdownSequence, AcceptedRequestEndsTheProgramAfterTheStepsInOrder) {
    std::vector<std::string> log;
    FakeRequester requester(log, {true, {}, {}});
    test::ScriptedDialogs dialogs;
    const auto result = RunShutdownSequence(requester, dialogs, RecordingHooks(log));
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(log, (std::vector<std::string>{"releaseGuard", "removeHotkeys", "prepare", "request", "endProgram"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(ShutdownSequence, RefusedRequestKeepsTheProgramRunningAndSaysWhy) {
    std::vector<std::string> log;
    FakeRequester requester(log, {false, "当前用户没有关机的权限", "org.freedesktop.DBus.Error.AccessDenied: no"});
    test::ScriptedDialogs dialogs;
    const auto result = RunShutdownSequence(requester, dialogs, RecordingHooks(log));
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(log, (std::vector<std::string>{"releaseGuard", "removeHotkeys", "prepare", "request", "installHotkeys",
                                             "reacquireGuard"}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "关机请求被拒绝：当前用户没有关机的权限。\n计算机没有关闭，铃潮继续运行。");
    EXPECT_EQ(dialogs.messages[0].title, "提示");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
}

TEST(ShutdownSequence, MissingHooksAreSkipped) {
    std::vector<std::string> log;
    FakeRequester refusing(log, {false, {}, {}});
    test::ScriptedDialogs dialogs;
    EXPECT_FALSE(RunShutdownSequence(refusing, dialogs, ShutdownHooks{}).accepted);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "关机请求被拒绝：原因不明。\n计算机没有关闭，铃潮继续运行。");
    EXPECT_EQ(log, (std::vector<std::string>{"prepare", "request"}));
}

}  // namespace
}  // namespace lingchao
