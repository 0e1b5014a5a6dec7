#include "ui/web_window.h"

#include <gtest/gtest.h>
#include <qrencode.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <cstdlib>
#include <memory>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/qr_code.h"
#include "web/web_access.h"
#include "web/web_settings.h"

namespace lingchao {
namespace {

QString Q(const char* text) { return QString::fromUtf8(text); }

std::string FileText(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = test::ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

// Every pixel against the encoder's own matrix: each module a solid square of its colour, all else white.
void ExpectModules(const QImage& image, const std::string& text, int moduleSize) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    ASSERT_TRUE(code);
    const int modules = code->width;
    ASSERT_EQ(image.width(), (modules + 2 * kQrQuietZone) * moduleSize);
    ASSERT_EQ(image.height(), image.width());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int mx = x / moduleSize - kQrQuietZone, my = y / moduleSize - kQrQuietZone;
            const bool dark =
                mx >= 0 && my >= 0 && mx < modules && my < modules && (code->data[my * modules + mx] & 1) != 0;
            ASSERT_EQ(image.pixel(x, y), dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
        }
    }
}

TEST(QrCodeImageTest, EachModuleSolidInsideAQuietZone) {
    const std::string address = "http://192.168.31.20:8760/";
    for (const int moduleSize : {1, 5}) ExpectModules(QrCodeImage(address, moduleSize), address, moduleSize);
    // The finder pattern's corner where the quiet zone ends.
    EXPECT_EQ(QrCodeImage(address, 3).pixel(kQrQuietZone * 3, kQrQuietZone * 3), qRgb(0, 0, 0));
    EXPECT_NE(QrCodeImage(address, 2), QrCodeImage("http://192.168.31.21:8760/", 2));
    EXPECT_TRUE(QrCodeImage("", 4).isNull());
    EXPECT_TRUE(QrCodeImage(address, 0).isNull());
    EXPECT_TRUE(QrCodeImage(std::string(5000, 'a'), 4).isNull()) << "beyond the largest code";
}

TEST(QrCodeImageTest, AScannerReadsItBack) {
    const QString zbar = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbar.isEmpty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    test::TempFolder folder;
    for (const std::string text : {"http://10.20.30.40:8760/", "https://192.168.200.201:65535/"}) {
        const QString png = QString::fromStdString((folder / "code.png").string());
        ASSERT_TRUE(QrCodeImage(text, 3).save(png));
        QProcess scan;
        scan.start(zbar, {QStringLiteral("--raw"), QStringLiteral("-q"), png});
        ASSERT_TRUE(scan.waitForFinished(60000));
        EXPECT_EQ(QString::fromUtf8(scan.readAllStandardOutput()).trimmed().toStdString(), text);
    }
}

class WebWindowTest : public ::testing::Test {
protected:
    void Open(const std::filesystem::path& appFolder) {
        window = std::make_unique<WebControlWindow>(WebControlServices{appFolder, dialogs,
                                                                       [this](const WebSettings& settings) {
                                                                           applied.push_back(settings);
                                                                           return startFailure;
                                                                       },
                                                                       [this] { return address; }});
        window->show();
    }
    void Open() { Open(folder.path()); }
    template <class T>
    T* W(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString Text(const char* label) { return W<QLabel>(label)->text(); }
    void Click(const char* button) { W<QPushButton>(button)->click(); }
    WebSettings Stored() { return ReadWebSettings(folder.path()); }

    test::TempFolder folder;
    test::ScriptedDialogs dialogs;
    std::vector<WebSettings> applied;
    std::string startFailure;
    std::string address;
    std::unique_ptr<WebControlWindow> window;
};

TEST_F(WebWindowTest, WritesTheSettingsWithPasswordsAsHashesOnly) {
    Open();
    EXPECT_EQ(window->objectName(), Q("网页控制"));
    EXPECT_EQ(window->windowTitle(), Q("网页控制"));
    EXPECT_EQ(W<QSpinBox>("webPort")->value(), 8760);
    EXPECT_TRUE(W<QRadioButton>("webListenLocal")->isChecked());
    EXPECT_FALSE(W<QCheckBox>("webAllowOutside")->isChecked());
    EXPECT_EQ(Text("webDutyPasswordState"), Q("未设置"));
    EXPECT_EQ(Text("qrCode"), Q("网页控制未开启"));
    EXPECT_EQ(Text("webSecurity"), Q("未加密的 HTTP：只在学校网络内使用"));

    W<QCheckBox>("webEnabled")->click();
    W<QSpinBox>("webPort")->setValue(9123);
    W<QRadioButton>("webListenNetwork")->click();
    EXPECT_FALSE(W<QLabel>("webOutsideWarning")->isVisible());
    W<QCheckBox>("webAllowOutside")->click();
    EXPECT_TRUE(W<QLabel>("webOutsideWarning")->isVisible());
    const QString duty = Q("值班 口令1");
    W<QLineEdit>("webDutyPassword")->setText(duty);
    address = "http://192.168.1.20:9123/";
    Click("webApply");

    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(applied.size(), 1u);
    WebSettings stored = Stored();
    for (const WebSettings& s : {applied[0], stored}) {
        EXPECT_TRUE(s.enabled);
        EXPECT_EQ(s.port, 9123);
        EXPECT_TRUE(s.network);
        EXPECT_TRUE(s.allowOutside);
        EXPECT_TRUE(SecretMatches(duty, s.dutyPassword));
        EXPECT_FALSE(SecretMatches(Q("值班 口令2"), s.dutyPassword));
        EXPECT_TRUE(s.adminPassword.isEmpty());
    }
    EXPECT_EQ(FileText(SettingsFile(folder.path())).find(duty.toStdString()), std::string::npos);
    EXPECT_EQ(Text("webDutyPasswordState"), Q("已设置"));
    EXPECT_TRUE(W<QLineEdit>("webDutyPassword")->text().isEmpty());

    // The address, and its QR code drawn 1:1 in whole pixels per module.
    EXPECT_TRUE(Text("webAddress").contains(Q("http://192.168.1.20:9123/")));
    const QImage shown = W<QLabel>("qrCode")->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    const int modulePixels = shown.width() / QrCodeImage(address, 1).width();
    EXPECT_GE(shown.width() / shown.devicePixelRatio(), 150) << "large enough for a phone";
    EXPECT_EQ(shown.convertToFormat(QImage::Format_Grayscale8), QrCodeImage(address, modulePixels));
    if (const char* path = std::getenv("LINGCHAO_WEB_SHOT")) {
        Click("webNewAdminToken");
        QApplication::processEvents();  // the window grows for the token on its next layout
        EXPECT_TRUE(window->grab().save(QString::fromUtf8(path)));
        W<QLineEdit>("webAdminNewToken")->hide();
    }

    // An empty field leaves the stored password alone; 清除 takes it away at 应用.
    W<QLineEdit>("webAdminPassword")->setText(Q("管理"));
    Click("webApply");
    EXPECT_EQ(Stored().dutyPassword, stored.dutyPassword);
    EXPECT_TRUE(SecretMatches(Q("管理"), Stored().adminPassword));
    Click("webDutyPasswordClear");
    EXPECT_EQ(Text("webDutyPasswordState"), Q("未设置"));
    EXPECT_EQ(Stored().dutyPassword, stored.dutyPassword) << "cleared before 应用";
    Click("webOk");
    EXPECT_TRUE(Stored().dutyPassword.isEmpty());
    EXPECT_FALSE(Stored().adminPassword.isEmpty());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(WebWindowTest, FailuresAreToldAndTheWindowStaysOpen) {
    // Root may write into a read-only folder: this one cannot be made at all, being beneath a file.
    test::WriteAll(folder / "file", {'x'});
    const std::filesystem::path unwritable = folder / "file" / "app";
    QString why;
    ASSERT_FALSE(WriteWebSettings(unwritable, WebSettings{}, &why));
    Open(unwritable);
    W<QLineEdit>("webDutyPassword")->setText(Q("secret"));
    Click("webOk");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find(why.toStdString()), std::string::npos) << dialogs.messages[0].text;
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(applied.empty()) << "the server was given settings that were not kept";
    EXPECT_EQ(W<QLineEdit>("webDutyPassword")->text(), Q("secret")) << "to apply again";

    // Written, but the server could not start.
    startFailure = "端口 9123 已被其他程序占用";
    Open();
    W<QCheckBox>("webEnabled")->click();
    Click("webOk");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[1].text.find(startFailure), std::string::npos) << dialogs.messages[1].text;
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Stored().enabled);
    EXPECT_EQ(Text("qrCode"), Q("网页控制未开启"));
}

TEST_F(WebWindowTest, ANewTokenIsShownOnceAndOnlyItsHashKept) {
    WebSettings before;
    before.adminToken = HashToken(Q("old admin token"));
    ASSERT_TRUE(WriteWebSettings(folder.path(), before));
    Open();
    EXPECT_EQ(Text("webDutyTokenState"), Q("未设置"));
    EXPECT_EQ(Text("webAdminTokenState"), Q("已设置"));
    EXPECT_FALSE(W<QLineEdit>("webDutyNewToken")->isVisible());

    // Cancelled: the token shown never works.
    Click("webNewDutyToken");
    Click("webCancel");
    EXPECT_TRUE(Stored().dutyToken.isEmpty());

    Open();
    EXPECT_FALSE(W<QLineEdit>("webDutyNewToken")->isVisible());
    Click("webNewDutyToken");
    QLineEdit* shown = W<QLineEdit>("webDutyNewToken");
    const QString token = shown->text();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->isReadOnly());
    EXPECT_GE(token.size(), 40);
    EXPECT_TRUE(Text("webNewTokenNote").contains(Q("只显示这一次")));
    Click("webApply");
    const WebSettings stored = Stored();
    EXPECT_EQ(stored.dutyToken, HashToken(token));
    EXPECT_EQ(stored.adminToken, before.adminToken);
    EXPECT_EQ(FileText(SettingsFile(folder.path())).find(token.toStdString()), std::string::npos);
    EXPECT_EQ(shown->text(), token) << "still there to copy";

    // Another: it replaces the first, which stops working.
    Click("webNewDutyToken");
    EXPECT_NE(shown->text(), token);
    Click("webOk");
    EXPECT_EQ(Stored().dutyToken, HashToken(shown->text()));
}

TEST_F(WebWindowTest, HttpsOnlyWithBothCertificateAndKey) {
    Open();
    dialogs.files = {std::string("/srv/tls/page.crt"), std::string("/srv/tls/page.key")};
    Click("webCertificatePick");
    EXPECT_EQ(W<QLineEdit>("webCertificate")->text(), Q("/srv/tls/page.crt"));
    EXPECT_TRUE(Text("webSecurity").startsWith(Q("未加密的 HTTP：只在学校网络内使用")));
    Click("webKeyPick");
    EXPECT_TRUE(Text("webSecurity").startsWith(Q("HTTPS")));
    ASSERT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_NE(dialogs.fileRequests[0].filter.find("*.pem"), std::string::npos);
    EXPECT_EQ(dialogs.fileRequests[1].startFolder, "/srv/tls") << "where the certificate was";
    Click("webCertificateClear");
    EXPECT_TRUE(Text("webSecurity").startsWith(Q("未加密的 HTTP")));
    Click("webApply");
    EXPECT_TRUE(Stored().certificate.isEmpty());
    EXPECT_EQ(Stored().key, Q("/srv/tls/page.key"));
}

}  // namespace
}  // namespace lingchao
