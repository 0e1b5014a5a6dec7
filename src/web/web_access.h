#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "web/web_backend.h"

namespace lingchao {

// A stored secret: "pbkdf2-sha256$<iterations>$<salt base64>$<hash base64>" (QPasswordDigestor). Empty: none set.
QString HashSecret(const QString& secret);
bool SecretMatches(const QString& secret, const QString& stored);
// True when `stored` has the shape HashSecret gives (iterations within bounds, a salt, a 32-byte hash).
bool IsSecretHash(const QString& stored);
// A new API token: 32 random bytes, base64url without padding (printed once; only its hash is kept).
QString NewApiToken();
// What is kept of a token: the lowercase hex SHA-256 of its text. A token is 256 random bits, so no salt or
// slow hash is needed against guessing, and a request's token is checked with one SHA-256, not a PBKDF2 run.
QString HashToken(const QString& token);
bool IsTokenHash(const QString& stored);  // 64 lowercase hex digits

// Loopback, and the private ranges (10/8, 172.16/12, 192.168/16, 169.254/16, fc00::/7, fe80::/10; IPv4-mapped
// IPv6 as IPv4). Anything else is refused unless the user allowed it.
bool IsLocalNetworkAddress(const QHostAddress& address);

// Sessions, sign-in attempts and tokens of the web server. Thread-safe; time from `now` (steady, injected for
// tests).
class WebAccess {
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;
    struct Hashes {
        QString duty, admin;            // password hashes (HashSecret); empty: that role cannot sign in
        QString dutyToken, adminToken;  // API token hashes; empty: no token for that role
    };
    struct Session {
        WebRole role = WebRole::Duty;
        QByteArray csrf;  // sent back in X-CSRF-Token by every state-changing request
    };
    struct SignIn {
        enum class Result { Ok, Wrong, Locked, NoPassword } result = Result::Wrong;
        QByteArray cookie;  // the session id for the Set-Cookie header (Ok only)
        QByteArray csrf;
    };
    static constexpr std::chrono::hours kSessionLife{12};
    static constexpr int kMaxWrong = 5;                 // wrong passwords from one address ...
    static constexpr std::chrono::minutes kLockFor{1};  // ... lock that address this long

    explicit WebAccess(Hashes hashes, Now now = std::chrono::steady_clock::now);
    void SetHashes(Hashes hashes);  // settings changed: sessions of a role whose password changed end

    // The 6th wrong password within a minute from one address is Locked, even with the right password, until
    // a minute has passed since the lock; each wrong one and each lock is logged with the address.
    SignIn SignInWith(const QHostAddress& from, WebRole role, const QString& password);
    // The session of a cookie value, if it is known and not older than kSessionLife.
    std::optional<Session> SessionOf(const QByteArray& cookie) const;
    void SignOut(const QByteArray& cookie);
    // The role of "Authorization: Bearer <token>", if the token's hash matches one stored.
    std::optional<WebRole> TokenRole(const QByteArray& token) const;

    // Bounds against a flood: beyond them the oldest entries are dropped (a dropped address starts counting anew).
    static constexpr std::size_t kMaxSessions = 1000;
    static constexpr std::size_t kMaxAddresses = 10000;

private:
    using Time = std::chrono::steady_clock::time_point;
    struct Kept {
        WebRole role = WebRole::Duty;
        QByteArray csrf;
        Time since;
    };
    struct Tries {
        std::deque<Time> wrong;  // wrong passwords of the last kLockFor, oldest first
        std::optional<Time> lockedAt;
        int checking = 0;  // passwords being checked now (the check runs outside the lock)
        Time last;
    };
    Tries& TriesOf(const QString& address, Time now);
    void KeepSession(const QByteArray& key, Kept kept, Time now);

    const Now now_;
    mutable std::mutex mutex_;
    Hashes hashes_;
    std::map<QByteArray, Kept> sessions_;  // by the SHA-256 of the cookie, so a lookup's timing tells nothing of it
    std::map<QString, Tries> tries_;       // by address (IPv4-mapped IPv6 as IPv4)
};

}  // namespace lingchao
