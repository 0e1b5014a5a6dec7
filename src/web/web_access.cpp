#include "web/web_access.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "base/log.h"

namespace lingchao {
namespace {

const QString kScheme = QStringLiteral("pbkdf2-sha256");
constexpr int kIterations = 100000;
// A hand-edited ini with a huge count must not make every sign-in take minutes.
constexpr int kMaxIterations = 10000000;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
constexpr auto kBase64 = QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors;
constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray RandomBytes(int count) {
    QByteArray bytes(count, '\0');
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return bytes;
}

// Every byte is looked at whatever differs, so the time taken tells nothing of where a guess went wrong.
bool SameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;  // lengths are fixed by the format, not secret
    volatile unsigned char differ = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        differ = differ | (static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]));
    return differ == 0;
}

QByteArray Derive(const QString& secret, const QByteArray& salt, int iterations) {
    // NFC: the same password typed through different input methods gives the same bytes.
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256,
                                              secret.normalized(QString::NormalizationForm_C).toUtf8(), salt,
                                              iterations, kHashBytes);
}

struct Parsed {
    int iterations = 0;
    QByteArray salt, hash;
};

std::optional<Parsed> Parse(const QString& stored) {
    const QStringList parts = stored.split(u'$');
    if (parts.size() != 4 || parts[0] != kScheme) return std::nullopt;
    Parsed parsed;
    bool ok = false;
    parsed.iterations = parts[1].toInt(&ok);
    if (!ok || parsed.iterations < kIterations || parsed.iterations > kMaxIterations) return std::nullopt;
    const auto salt = QByteArray::fromBase64Encoding(parts[2].toLatin1(), kBase64);
    const auto hash = QByteArray::fromBase64Encoding(parts[3].toLatin1(), kBase64);
    if (!salt || !hash || salt.decoded.size() < 8 || salt.decoded.size() > 64 || hash.decoded.size() != kHashBytes) {
        return std::nullopt;
    }
    parsed.salt = salt.decoded;
    parsed.hash = hash.decoded;
    return parsed;
}

QByteArray Sha256(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

QByteArray NewId() { return RandomBytes(32).toBase64(kBase64Url); }

QHostAddress Plain(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped) return QHostAddress(v4);
    QHostAddress plain = address;
    plain.setScopeId(QString());
    return plain;
}

const char* RoleName(WebRole role) { return role == WebRole::Admin ? "admin" : "duty"; }

}  // namespace

QString HashSecret(const QString& secret) {
    const QByteArray salt = RandomBytes(kSaltBytes);
    return kScheme + u'$' + QString::number(kIterations) + u'$' + QString::fromLatin1(salt.toBase64()) + u'$' +
           QString::fromLatin1(Derive(secret, salt, kIterations).toBase64());
}

bool SecretMatches(const QString& secret, const QString& stored) {
    const auto parsed = Parse(stored);
    return parsed && SameBytes(Derive(secret, parsed->salt, parsed->iterations), parsed->hash);
}

bool IsSecretHash(const QString& stored) { return Parse(stored).has_value(); }

QString NewApiToken() { return QString::fromLatin1(NewId()); }

QString HashToken(const QString& token) { return QString::fromLatin1(Sha256(token.toUtf8()).toHex()); }

bool IsTokenHash(const QString& stored) {
    return stored.size() == 64 &&
           std::all_of(stored.begin(), stored.end(), [](QChar c) { return c.isDigit() || (c >= u'a' && c <= u'f'); });
}

bool IsLocalNetworkAddress(const QHostAddress& address) {
    static const std::vector<std::pair<QHostAddress, int>> kLocal = {
        QHostAddress::parseSubnet("127.0.0.0/8"),    QHostAddress::parseSubnet("10.0.0.0/8"),
        QHostAddress::parseSubnet("172.16.0.0/12"),  QHostAddress::parseSubnet("192.168.0.0/16"),
        QHostAddress::parseSubnet("169.254.0.0/16"), QHostAddress::parseSubnet("::1/128"),
        QHostAddress::parseSubnet("fc00::/7"),       QHostAddress::parseSubnet("fe80::/10"),
    };
    const QHostAddress plain = Plain(address);
    if (plain.isNull()) return false;
    return std::any_of(kLocal.begin(), kLocal.end(), [&](const auto& net) { return plain.isInSubnet(net); });
}

WebAccess::WebAccess(Hashes hashes, Now now) : now_(std::move(now)), hashes_(std::move(hashes)) {}

void WebAccess::SetHashes(Hashes hashes) {
    std::lock_guard lock(mutex_);
    const bool dutyChanged = hashes.duty != hashes_.duty;
    const bool adminChanged = hashes.admin != hashes_.admin;
    hashes_ = std::move(hashes);
    std::erase_if(sessions_, [&](const auto& entry) {
        const WebRole role = entry.second.role;
        return role == WebRole::Duty ? dutyChanged : adminChanged;
    });
}

WebAccess::Tries& WebAccess::TriesOf(const QString& address, Time now) {
    if (auto it = tries_.find(address); it != tries_.end()) return it->second;
    if (tries_.size() >= kMaxAddresses) {
        // First what no longer counts for anything, then, under a flood of fresh addresses, the oldest.
        std::erase_if(tries_, [&](const auto& entry) {
            const Tries& t = entry.second;
            return t.checking == 0 && (!t.lockedAt || now - *t.lockedAt >= kLockFor) &&
                   (t.wrong.empty() || now - t.wrong.back() >= kLockFor);
        });
        while (tries_.size() >= kMaxAddresses) {
            tries_.erase(std::min_element(tries_.begin(), tries_.end(),
                                          [](const auto& a, const auto& b) { return a.second.last < b.second.last; }));
        }
    }
    return tries_[address];
}

void WebAccess::KeepSession(const QByteArray& key, Kept kept, Time now) {
    if (sessions_.size() >= kMaxSessions) {
        std::erase_if(sessions_, [&](const auto& entry) { return now - entry.second.since >= kSessionLife; });
        while (sessions_.size() >= kMaxSessions) {
            sessions_.erase(std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
                return a.second.since < b.second.since;
            }));
        }
    }
    sessions_[key] = std::move(kept);
}

WebAccess::SignIn WebAccess::SignInWith(const QHostAddress& from, WebRole role, const QString& password) {
    const QString address = Plain(from).toString();
    SignIn answer;
    QString stored;
    {
        std::lock_guard lock(mutex_);
        const Time now = now_();
        Tries& tries = TriesOf(address, now);
        tries.last = now;
        if (tries.lockedAt && now - *tries.lockedAt < kLockFor) {
            answer.result = SignIn::Result::Locked;
            return answer;
        }
        tries.lockedAt.reset();
        while (!tries.wrong.empty() && now - tries.wrong.front() >= kLockFor) tries.wrong.pop_front();
        stored = role == WebRole::Admin ? hashes_.admin : hashes_.duty;
        if (stored.isEmpty()) {
            answer.result = SignIn::Result::NoPassword;
            return answer;
        }
        // Attempts still being checked count as wrong ones, so that parallel requests cannot get past the limit.
        if (tries.wrong.size() + static_cast<std::size_t>(tries.checking) >= static_cast<std::size_t>(kMaxWrong)) {
            answer.result = SignIn::Result::Locked;
            return answer;
        }
        ++tries.checking;
    }
    // The slow hash runs without the lock: sessions are looked up meanwhile.
    const bool right = SecretMatches(password, stored);

    std::lock_guard lock(mutex_);
    const Time now = now_();
    Tries& tries = TriesOf(address, now);  // anew: a flood may have dropped the entry meanwhile
    tries.checking = std::max(0, tries.checking - 1);
    tries.last = now;
    const QString& current = role == WebRole::Admin ? hashes_.admin : hashes_.duty;
    if (right && current == stored) {
        answer.result = SignIn::Result::Ok;
        answer.cookie = NewId();
        answer.csrf = NewId();
        KeepSession(Sha256(answer.cookie), Kept{role, answer.csrf, now}, now);
        return answer;
    }
    if (right) return answer;  // the password changed while it was checked: Wrong, but no guess to count
    tries.wrong.push_back(now);
    LogLine("web sign-in: wrong " + std::string(RoleName(role)) + " password from " + address.toStdString());
    if (tries.wrong.size() >= static_cast<std::size_t>(kMaxWrong)) {
        tries.wrong.clear();
        tries.lockedAt = now;
        LogLine("web sign-in: " + address.toStdString() + " locked for " +
                std::to_string(std::chrono::seconds(kLockFor).count()) + " s after " + std::to_string(kMaxWrong) +
                " wrong passwords");
    }
    return answer;
}

std::optional<WebAccess::Session> WebAccess::SessionOf(const QByteArray& cookie) const {
    if (cookie.isEmpty()) return std::nullopt;
    const QByteArray key = Sha256(cookie);
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(key);
    if (it == sessions_.end() || now_() - it->second.since >= kSessionLife) return std::nullopt;
    return Session{it->second.role, it->second.csrf};
}

void WebAccess::SignOut(const QByteArray& cookie) {
    const QByteArray key = Sha256(cookie);
    std::lock_guard lock(mutex_);
    sessions_.erase(key);
}

std::optional<WebRole> WebAccess::TokenRole(const QByteArray& token) const {
    if (token.isEmpty()) return std::nullopt;
    const QByteArray hash = Sha256(token).toHex();
    std::lock_guard lock(mutex_);
    // Both compared every time, in constant time each.
    const bool admin = !hashes_.adminToken.isEmpty() && SameBytes(hash, hashes_.adminToken.toLatin1());
    const bool duty = !hashes_.dutyToken.isEmpty() && SameBytes(hash, hashes_.dutyToken.toLatin1());
    if (admin) return WebRole::Admin;
    if (duty) return WebRole::Duty;
    return std::nullopt;
}

}  // namespace lingchao
