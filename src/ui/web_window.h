#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <filesystem>
#include <functional>
#include <string>

#include "base/dialogs.h"
#include "web/web_settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace lingchao {

// What the office page's window needs of the program.
struct WebControlServices {
    std::filesystem::path appFolder;  // where lingchao.ini is
    Dialogs& dialogs;
    // Serves the page with these settings (stops it when they are not enabled): "" or why it could not start.
    std::function<std::string(const WebSettings&)> apply;
    // The page's address while it is served, "" when it is not.
    std::function<std::string()> address;
};

// "网页控制": turns the office page on and off, where it listens, its passwords, API tokens and certificate, and
// shows its address with a QR code for a phone. Only hashes of passwords and tokens are written; a new token is
// shown once, here, and never again.
class WebControlWindow final : public QDialog {
    Q_OBJECT
public:
    explicit WebControlWindow(WebControlServices services, QWidget* parent = nullptr);

    // 应用: writes the settings and serves the page with them. False, after a box saying why, when either failed.
    bool Apply();
    // The address and its QR code as they are now ("网页控制未开启" when the page is not served).
    void ShowAddress();

protected:
    bool event(QEvent* event) override;

private:
    enum Role { kDuty = 0, kAdmin = 1 };
    // One role's password and token: what is typed or made here, kept until 应用.
    struct RoleControls {
        QLineEdit* password = nullptr;
        QLabel* passwordState = nullptr;
        QLabel* tokenState = nullptr;
        QLineEdit* newToken = nullptr;  // the token just made, shown once
        bool clearPassword = false;
        QString tokenHash;  // of the token just made; empty: none made
    };

    QWidget* BuildPage();
    QWidget* BuildPasswords();
    QWidget* BuildCertificate();
    QWidget* BuildTokens();
    QWidget* BuildAddress();
    void Load();
    void ShowStates();
    void PickFile(QLineEdit* field, const char* title);
    void MakeToken(Role role);
    void Tell(const QString& text);

    WebControlServices s_;
    WebSettings stored_;  // as last read or written
    QCheckBox* enabled_ = nullptr;
    QSpinBox* port_ = nullptr;
    QRadioButton* local_ = nullptr;
    QRadioButton* network_ = nullptr;
    QCheckBox* allowOutside_ = nullptr;
    QLabel* outsideWarning_ = nullptr;
    std::array<RoleControls, 2> roles_;
    QLineEdit* certificate_ = nullptr;
    QLineEdit* key_ = nullptr;
    QLabel* security_ = nullptr;
    QLabel* tokenNote_ = nullptr;
    QLabel* address_ = nullptr;
    QLabel* qrCode_ = nullptr;
};

}  // namespace lingchao
