// Sign-in to the office page: stored passwords, the lock after wrong ones, sessions and their end, API tokens,
// and which addresses count as the school's own network. Time is a clock the test moves.

#include <gtest/gtest.h>

#include "web/web_access.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;
using Result = WebAccess::SignIn::Result;

const QHostAddress kTeacher("192.168.1.20");

class AccessTest : public ::testing::Test {
protected:
    // PBKDF2 is slow on purpose: hashed once for all the tests.
    static void SetUpTestSuite() {
        hashes_ = new WebAccess::Hashes{HashSecret("值班$1/+"), HashSecret("admin-pass"), {}, {}};
    }
    static void TearDownTestSuite() { delete hashes_; }

    WebAccess::Now Clock() {
        return [this] { return now_; };
    }

    static WebAccess::Hashes* hashes_;
    std::chrono::steady_clock::time_point now_{std::chrono::hours(1000)};
    WebAccess access_{*hashes_, Clock()};
};
WebAccess::Hashes* AccessTest::hashes_ = nullptr;

TEST(StoredSecret, MatchesOnlyItsOwnSecretCarriesItsCountAndRefusesDamagedText) {
    const QString stored = HashSecret("正确 password");
    const QStringList parts = stored.split('$');
    ASSERT_EQ(parts.size(), 4) << stored.toStdString();
    EXPECT_EQ(parts[0], "pbkdf2-sha256");
    EXPECT_GE(parts[1].toInt(), 100000);
    EXPECT_TRUE(IsSecretHash(stored));
    EXPECT_TRUE(SecretMatches("正确 password", stored));
    EXPECT_FALSE(SecretMatches("正确 Password", stored));
    EXPECT_FALSE(SecretMatches("", stored));
    EXPECT_NE(HashSecret("正确 password"), stored) << "no salt";

    QStringList fewer = parts;
    fewer[1] = "1";  // a cheap hash slipped into the file
    QStringList cut = parts;
    cut[3].chop(4);
    QStringList noBase64 = parts;
    noBase64[2] = "*not base64*";
    for (const QString& damaged : {fewer.join('$'), cut.join('$'), noBase64.join('$'), QString(), stored + "$x"}) {
        EXPECT_FALSE(IsSecretHash(damaged)) << damaged.toStdString();
        EXPECT_FALSE(SecretMatches("正确 password", damaged)) << damaged.toStdString();
    }
}

TEST_F(AccessTest, TheRightPasswordOfTheRoleOpensASessionAndAWrongOneDoesNot) {
    EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Duty, "wrong").result, Result::Wrong);
    EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Admin, "值班$1/+").result, Result::Wrong) << "duty's as admin";
    const auto duty = access_.SignInWith(kTeacher, WebRole::Duty, "值班$1/+");
    ASSERT_EQ(duty.result, Result::Ok);
    const auto admin = access_.SignInWith(kTeacher, WebRole::Admin, "admin-pass");
    ASSERT_EQ(admin.result, Result::Ok);

    EXPECT_EQ(duty.cookie.size(), 43);  // 32 bytes, base64url
    EXPECT_NE(duty.cookie, admin.cookie);
    EXPECT_NE(duty.csrf, admin.csrf);
    EXPECT_NE(duty.csrf, duty.cookie);
    const auto dutySession = access_.SessionOf(duty.cookie);
    ASSERT_TRUE(dutySession);
    EXPECT_EQ(dutySession->role, WebRole::Duty);
    EXPECT_EQ(dutySession->csrf, duty.csrf);
    EXPECT_EQ(access_.SessionOf(admin.cookie)->role, WebRole::Admin);
    EXPECT_FALSE(access_.SessionOf(duty.csrf));
    EXPECT_FALSE(access_.SessionOf(""));

    WebAccess noAdmin({hashes_->duty, {}, {}, {}}, Clock());
    EXPECT_EQ(noAdmin.SignInWith(kTeacher, WebRole::Admin, "").result, Result::NoPassword);
}

TEST_F(AccessTest, FiveWrongPasswordsInAMinuteLockTheAddressForAMinuteEvenForTheRightOne) {
    // Four wrong ones, then a minute without: nothing is held against the address.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Duty, "guess").result, Result::Wrong);
    now_ += 61s;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Admin, "guess").result, Result::Wrong) << i;
        now_ += 5s;
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("wrong admin password from 192.168.1.20"), std::string::npos) << log;
    EXPECT_NE(log.find("192.168.1.20 locked"), std::string::npos) << log;

    // The lock began at the fifth wrong one, 5 s ago.
    EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Admin, "admin-pass").result, Result::Locked);
    EXPECT_EQ(access_.SignInWith(QHostAddress("::ffff:192.168.1.20"), WebRole::Duty, "值班$1/+").result, Result::Locked)
        << "the same address over IPv6";
    EXPECT_EQ(access_.SignInWith(QHostAddress("192.168.1.21"), WebRole::Duty, "值班$1/+").result, Result::Ok);
    now_ += 54s;
    EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Admin, "admin-pass").result, Result::Locked);
    now_ += 1s;
    const auto after = access_.SignInWith(kTeacher, WebRole::Admin, "admin-pass");
    ASSERT_EQ(after.result, Result::Ok);
    EXPECT_TRUE(access_.SessionOf(after.cookie));
}

TEST_F(AccessTest, ASessionLastsTwelveHoursOrUntilSignOutOrItsRolesPasswordChanges) {
    const auto first = access_.SignInWith(kTeacher, WebRole::Duty, "值班$1/+");
    now_ += 1h;
    const auto second = access_.SignInWith(kTeacher, WebRole::Duty, "值班$1/+");
    const auto admin = access_.SignInWith(kTeacher, WebRole::Admin, "admin-pass");

    now_ += 11h - 1s;
    EXPECT_TRUE(access_.SessionOf(first.cookie));
    now_ += 1s;
    EXPECT_FALSE(access_.SessionOf(first.cookie)) << "12 h old";
    ASSERT_TRUE(access_.SessionOf(second.cookie));

    access_.SignOut(second.cookie);
    EXPECT_FALSE(access_.SessionOf(second.cookie));
    EXPECT_TRUE(access_.SessionOf(admin.cookie));

    // A new token or the same passwords keep the sessions; a new duty password ends duty's only.
    const auto third = access_.SignInWith(kTeacher, WebRole::Duty, "值班$1/+");
    WebAccess::Hashes hashes = *hashes_;
    hashes.dutyToken = HashToken(NewApiToken());
    access_.SetHashes(hashes);
    EXPECT_TRUE(access_.SessionOf(third.cookie));
    hashes.duty = HashSecret("新的");
    access_.SetHashes(hashes);
    EXPECT_FALSE(access_.SessionOf(third.cookie));
    EXPECT_TRUE(access_.SessionOf(admin.cookie));
    EXPECT_EQ(access_.SignInWith(kTeacher, WebRole::Duty, "新的").result, Result::Ok);
    hashes.admin.clear();
    access_.SetHashes(hashes);
    EXPECT_FALSE(access_.SessionOf(admin.cookie));
}

TEST_F(AccessTest, ATokenGivesTheRoleWhoseHashItMatches) {
    const QString dutyToken = NewApiToken();
    const QString adminToken = NewApiToken();
    EXPECT_EQ(dutyToken.size(), 43);
    EXPECT_NE(dutyToken, adminToken);
    EXPECT_TRUE(IsTokenHash(HashToken(dutyToken)));
    EXPECT_FALSE(IsTokenHash(HashToken(dutyToken).toUpper()));
    EXPECT_FALSE(IsTokenHash(dutyToken));

    EXPECT_FALSE(access_.TokenRole(dutyToken.toLatin1())) << "no token set";
    access_.SetHashes({hashes_->duty, hashes_->admin, HashToken(dutyToken), HashToken(adminToken)});
    EXPECT_EQ(access_.TokenRole(dutyToken.toLatin1()), WebRole::Duty);
    EXPECT_EQ(access_.TokenRole(adminToken.toLatin1()), WebRole::Admin);
    EXPECT_FALSE(access_.TokenRole(NewApiToken().toLatin1()));
    EXPECT_FALSE(access_.TokenRole(HashToken(adminToken).toLatin1())) << "the stored hash is no token";
    EXPECT_FALSE(access_.TokenRole(""));
    access_.SetHashes({hashes_->duty, hashes_->admin, HashToken(dutyToken), {}});
    EXPECT_FALSE(access_.TokenRole(adminToken.toLatin1())) << "a token taken back";
}

TEST(LocalNetwork, LoopbackAndPrivateRangesAlsoOverIPv6AreLocalAndTheRestIsNot) {
    for (const char* local : {"127.0.0.1", "127.8.9.10", "10.1.2.3", "172.16.0.1", "172.31.255.255", "192.168.0.5",
                              "169.254.10.1", "::1", "fd12:3456::1", "fc00::1", "fe80::1", "fe80::1%eth0",
                              "::ffff:192.168.1.20", "::ffff:10.0.0.1", "::ffff:127.0.0.1"}) {
        EXPECT_TRUE(IsLocalNetworkAddress(QHostAddress(QString(local)))) << local;
    }
    for (const char* outside : {"8.8.8.8", "172.32.0.1", "172.15.255.255", "192.169.0.1", "11.0.0.1", "2001:db8::1",
                                "::ffff:8.8.8.8", "fec0::1", "0.0.0.0", "::"}) {
        EXPECT_FALSE(IsLocalNetworkAddress(QHostAddress(QString(outside)))) << outside;
    }
    EXPECT_FALSE(IsLocalNetworkAddress(QHostAddress()));
}

}  // namespace
}  // namespace lingchao
