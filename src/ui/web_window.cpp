#include "ui/web_window.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/qr_code.h"
#include "ui/window_placement.h"
#include "web/web_access.h"

namespace lingchao {
namespace {

constexpr int kQrSide = 200;  // logical pixels: large enough for a phone held at arm's length
const char* const kPemFilter = "PEM 文件(*.pem;*.crt;*.key)|*.pem;*.crt;*.key|所有文件(*.*)|*.*|";

QLabel* Named(QLabel* label, const char* name) {
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QString Stated(bool set) { return set ? QStringLiteral("已设置") : QStringLiteral("未设置"); }

}  // namespace

WebControlWindow::WebControlWindow(WebControlServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      s_(std::move(services)) {
    setObjectName(QStringLiteral("网页控制"));
    setWindowTitle(QStringLiteral("网页控制"));
    OpenOverOpener(this);

    auto* settings = new QVBoxLayout;
    settings->addWidget(BuildPage());
    settings->addWidget(BuildPasswords());
    settings->addWidget(BuildCertificate());
    settings->addWidget(BuildTokens());
    settings->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(settings, 3);
    auto* right = new QVBoxLayout;
    right->addWidget(BuildAddress());
    right->addStretch(1);
    columns->addLayout(right, 2);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    const std::pair<QDialogButtonBox::StandardButton, std::pair<const char*, const char*>> names[] = {
        {QDialogButtonBox::Ok, {"确定", "webOk"}},
        {QDialogButtonBox::Apply, {"应用", "webApply"}},
        {QDialogButtonBox::Cancel, {"取消", "webCancel"}}};
    for (const auto& [which, name] : names) {
        buttons->button(which)->setText(QString::fromUtf8(name.first));
        buttons->button(which)->setObjectName(QString::fromLatin1(name.second));
    }
    connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, [this] {
        if (Apply()) accept();
    });
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addLayout(columns);
    column->addWidget(buttons);

    Load();
    ShowAddress();
}

QWidget* WebControlWindow::BuildPage() {
    auto* box = new QGroupBox(QStringLiteral("网页"), this);
    enabled_ = new QCheckBox(QStringLiteral("开启网页控制"), box);
    enabled_->setObjectName(QStringLiteral("webEnabled"));
    port_ = new QSpinBox(box);
    port_->setObjectName(QStringLiteral("webPort"));
    port_->setRange(1, 65535);
    port_->setValue(WebSettings{}.port);
    local_ = new QRadioButton(QStringLiteral("仅本机"), box);
    local_->setObjectName(QStringLiteral("webListenLocal"));
    network_ = new QRadioButton(QStringLiteral("校园网"), box);
    network_->setObjectName(QStringLiteral("webListenNetwork"));
    local_->setChecked(true);
    auto* where = new QHBoxLayout;
    where->addWidget(local_);
    where->addWidget(network_);
    where->addStretch(1);
    allowOutside_ = new QCheckBox(QStringLiteral("允许学校网络以外的地址访问"), box);
    allowOutside_->setObjectName(QStringLiteral("webAllowOutside"));
    outsideWarning_ = Named(new QLabel(QStringLiteral("注意：校外的人也能打开登录页，只有密码挡住他们。"
                                                      "请设置不易猜到的密码，并使用 HTTPS 证书。"),
                                       box),
                            "webOutsideWarning");
    outsideWarning_->setWordWrap(true);
    outsideWarning_->setStyleSheet(QStringLiteral("color: #b71c1c;"));

    auto* form = new QFormLayout(box);
    form->addRow(enabled_);
    form->addRow(QStringLiteral("端口："), port_);
    form->addRow(QStringLiteral("访问范围："), where);
    form->addRow(allowOutside_);
    form->addRow(outsideWarning_);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{network_, allowOutside_}) {
        connect(b, &QAbstractButton::toggled, this, [this] { ShowStates(); });
    }
    return box;
}

QWidget* WebControlWindow::BuildPasswords() {
    auto* box = new QGroupBox(QStringLiteral("密码"), this);
    auto* grid = new QGridLayout(box);
    const struct {
        Role role;
        const char* caption;
        const char* field;
        const char* state;
        const char* clear;
    } rows[] = {{kDuty, "值班密码：", "webDutyPassword", "webDutyPasswordState", "webDutyPasswordClear"},
                {kAdmin, "管理密码：", "webAdminPassword", "webAdminPasswordState", "webAdminPasswordClear"}};
    for (const auto& row : rows) {
        RoleControls& c = roles_[row.role];
        c.password = new QLineEdit(box);
        c.password->setObjectName(QString::fromLatin1(row.field));
        c.password->setEchoMode(QLineEdit::Password);
        c.password->setPlaceholderText(QStringLiteral("输入新密码；留空则不更改"));
        c.password->setMinimumWidth(220);
        c.passwordState = Named(new QLabel(box), row.state);
        auto* clear = Button(QStringLiteral("清除"), row.clear, box);
        clear->setToolTip(QStringLiteral("按“应用”后删除这个密码，此后不能再用它登录"));
        connect(clear, &QPushButton::clicked, this, [this, role = row.role] {
            roles_[role].clearPassword = true;
            roles_[role].password->clear();
            ShowStates();
        });
        const int r = static_cast<int>(row.role);
        grid->addWidget(new QLabel(QString::fromUtf8(row.caption), box), r, 0);
        grid->addWidget(c.password, r, 1);
        grid->addWidget(c.passwordState, r, 2);
        grid->addWidget(clear, r, 3);
    }
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* WebControlWindow::BuildCertificate() {
    auto* box = new QGroupBox(QStringLiteral("HTTPS 证书"), this);
    auto* grid = new QGridLayout(box);
    certificate_ = new QLineEdit(box);
    certificate_->setObjectName(QStringLiteral("webCertificate"));
    key_ = new QLineEdit(box);
    key_->setObjectName(QStringLiteral("webKey"));
    const struct {
        QLineEdit* field;
        const char* caption;
        const char* title;
        const char* pick;
        const char* clear;
    } rows[] = {{certificate_, "证书：", "选择证书文件（PEM）", "webCertificatePick", "webCertificateClear"},
                {key_, "密钥：", "选择密钥文件（PEM）", "webKeyPick", "webKeyClear"}};
    int r = 0;
    for (const auto& row : rows) {
        row.field->setPlaceholderText(QStringLiteral("PEM 文件"));
        row.field->setMinimumWidth(220);
        connect(row.field, &QLineEdit::textChanged, this, [this] { ShowStates(); });
        auto* pick = Button(QStringLiteral("选择…"), row.pick, box);
        connect(pick, &QPushButton::clicked, this,
                [this, field = row.field, title = row.title] { PickFile(field, title); });
        auto* clear = Button(QStringLiteral("清除"), row.clear, box);
        connect(clear, &QPushButton::clicked, row.field, &QLineEdit::clear);
        grid->addWidget(new QLabel(QString::fromUtf8(row.caption), box), r, 0);
        grid->addWidget(row.field, r, 1);
        grid->addWidget(pick, r, 2);
        grid->addWidget(clear, r, 3);
        ++r;
    }
    security_ = Named(new QLabel(box), "webSecurity");
    security_->setWordWrap(true);
    grid->addWidget(security_, r, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* WebControlWindow::BuildTokens() {
    auto* box = new QGroupBox(QStringLiteral("API 令牌"), this);
    auto* grid = new QGridLayout(box);
    const struct {
        Role role;
        const char* caption;
        const char* state;
        const char* make;
        const char* makeName;
        const char* shown;
    } rows[] = {{kDuty, "值班令牌：", "webDutyTokenState", "新建值班令牌", "webNewDutyToken", "webDutyNewToken"},
                {kAdmin, "管理令牌：", "webAdminTokenState", "新建管理令牌", "webNewAdminToken", "webAdminNewToken"}};
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    int r = 0;
    for (const auto& row : rows) {
        RoleControls& c = roles_[row.role];
        c.tokenState = Named(new QLabel(box), row.state);
        auto* make = Button(QString::fromUtf8(row.make), row.makeName, box);
        connect(make, &QPushButton::clicked, this, [this, role = row.role] { MakeToken(role); });
        c.newToken = new QLineEdit(box);
        c.newToken->setObjectName(QString::fromLatin1(row.shown));
        c.newToken->setReadOnly(true);
        c.newToken->setFont(fixed);
        c.newToken->hide();
        grid->addWidget(new QLabel(QString::fromUtf8(row.caption), box), r, 0);
        grid->addWidget(c.tokenState, r, 1);
        grid->addWidget(make, r, 2);
        grid->addWidget(c.newToken, r + 1, 0, 1, 3);
        r += 2;
    }
    tokenNote_ = Named(new QLabel(box), "webNewTokenNote");
    tokenNote_->setWordWrap(true);
    tokenNote_->setStyleSheet(QStringLiteral("color: #b35c00;"));
    tokenNote_->hide();
    grid->addWidget(tokenNote_, r, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* WebControlWindow::BuildAddress() {
    auto* box = new QGroupBox(QStringLiteral("网页地址"), this);
    address_ = Named(new QLabel(box), "webAddress");
    address_->setTextFormat(Qt::RichText);
    address_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    address_->setOpenExternalLinks(true);
    address_->setAlignment(Qt::AlignCenter);
    qrCode_ = Named(new QLabel(box), "qrCode");
    qrCode_->setAlignment(Qt::AlignCenter);
    qrCode_->setMinimumSize(kQrSide, kQrSide);
    auto* column = new QVBoxLayout(box);
    column->addWidget(address_);
    column->addWidget(qrCode_);
    return box;
}

void WebControlWindow::Load() {
    stored_ = ReadWebSettings(s_.appFolder);
    enabled_->setChecked(stored_.enabled);
    port_->setValue(stored_.port);
    (stored_.network ? network_ : local_)->setChecked(true);
    allowOutside_->setChecked(stored_.allowOutside);
    certificate_->setText(stored_.certificate);
    key_->setText(stored_.key);
    ShowStates();
}

void WebControlWindow::ShowStates() {
    // Outside addresses can only reach a page that listens on the network.
    allowOutside_->setEnabled(network_->isChecked());
    outsideWarning_->setVisible(allowOutside_->isChecked() && network_->isChecked());

    bool pending = false, shown = false;
    for (const Role role : {kDuty, kAdmin}) {
        const RoleControls& c = roles_[role];
        const QString& password = role == kDuty ? stored_.dutyPassword : stored_.adminPassword;
        const QString& token = role == kDuty ? stored_.dutyToken : stored_.adminToken;
        c.passwordState->setText(Stated(!c.clearPassword && !password.isEmpty()));
        c.tokenState->setText(Stated(!token.isEmpty() || !c.tokenHash.isEmpty()));
        pending = pending || !c.tokenHash.isEmpty();
        shown = shown || !c.newToken->isHidden();
    }
    tokenNote_->setVisible(shown);
    tokenNote_->setText(pending ? QStringLiteral("新令牌只显示这一次，请现在复制保存。按“应用”或“确定”后生效，"
                                                 "原来的令牌随之作废；按“取消”则不生效。")
                                : QStringLiteral("新令牌只显示这一次，请现在复制保存。它已生效，原来的令牌已作废。"));

    // The server serves HTTPS only with both files; with one of them it is plain HTTP.
    const bool certificate = !certificate_->text().trimmed().isEmpty();
    const bool key = !key_->text().trimmed().isEmpty();
    if (certificate && key) {
        security_->setText(QStringLiteral("HTTPS：网页和密码加密传送"));
        security_->setStyleSheet(QStringLiteral("color: #1b5e20;"));
    } else {
        security_->setText(QStringLiteral("未加密的 HTTP：只在学校网络内使用") +
                           (certificate || key ? QStringLiteral("（证书和密钥都选好才用 HTTPS）") : QString()));
        security_->setStyleSheet(QStringLiteral("color: #b35c00;"));
    }
    // A warning or a token just shown needs room the window did not have when it opened.
}

bool WebControlWindow::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // A warning or a token just shown needs room the window did not have when it opened. Wrapped lines count
    // only through heightForWidth, which no size hint of a window includes, and only once laid out anew.
    if (event->type() == QEvent::LayoutRequest && hasHeightForWidth()) {
        const int need = heightForWidth(width());
        if (need > height()) resize(width(), need);
    }
    return handled;
}

void WebControlWindow::PickFile(QLineEdit* field, const char* title) {
    // Certificate and key are usually side by side: start where either is.
    QString near = field->text().trimmed();
    if (near.isEmpty()) near = (field == certificate_ ? key_ : certificate_)->text().trimmed();
    const std::string start = near.isEmpty() ? s_.appFolder.string() : QFileInfo(near).absolutePath().toStdString();
    const auto chosen = s_.dialogs.OpenFile(FileDialogRequest{title, kPemFilter, start});
    if (chosen) field->setText(QString::fromStdString(*chosen));
}

void WebControlWindow::MakeToken(Role role) {
    RoleControls& c = roles_[role];
    const QString token = NewApiToken();
    c.tokenHash = HashToken(token);
    c.newToken->setText(token);
    c.newToken->show();
    c.newToken->selectAll();
    c.newToken->setFocus();
    ShowStates();
}

bool WebControlWindow::Apply() {
    // Read afresh, so a password or token set meanwhile (lingchao --set-password) is kept unless changed here.
    WebSettings settings = ReadWebSettings(s_.appFolder);
    settings.enabled = enabled_->isChecked();
    settings.port = port_->value();
    settings.network = network_->isChecked();
    settings.allowOutside = allowOutside_->isChecked();
    settings.certificate = certificate_->text().trimmed();
    settings.key = key_->text().trimmed();
    for (const Role role : {kDuty, kAdmin}) {
        const RoleControls& c = roles_[role];
        QString& password = role == kDuty ? settings.dutyPassword : settings.adminPassword;
        if (!c.password->text().isEmpty()) {
            password = HashSecret(c.password->text());
        } else if (c.clearPassword) {
            password.clear();
        }
        if (!c.tokenHash.isEmpty()) (role == kDuty ? settings.dutyToken : settings.adminToken) = c.tokenHash;
    }
    QString why;
    if (!WriteWebSettings(s_.appFolder, settings, &why)) {
        // What was typed stays in the window, to be applied again once the folder can be written.
        Tell(QStringLiteral("网页控制的设置没有保存：%1").arg(why));
        return false;
    }
    stored_ = settings;
    for (RoleControls& c : roles_) {
        c.password->clear();
        c.clearPassword = false;
        c.tokenHash.clear();
    }
    ShowStates();
    const std::string failure = s_.apply ? s_.apply(settings) : std::string();
    ShowAddress();
    if (!failure.empty()) {
        Tell(QStringLiteral("设置已保存，但网页控制没有开启：%1").arg(QString::fromStdString(failure)));
        return false;
    }
    return true;
}

void WebControlWindow::ShowAddress() {
    const QString address = QString::fromStdString(s_.address ? s_.address() : std::string());
    qrCode_->clear();
    if (address.isEmpty()) {
        address_->clear();
        address_->hide();
        qrCode_->setText(QStringLiteral("网页控制未开启"));
        return;
    }
    address_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
    address_->show();
    // Whole device pixels per module, so every module is as sharp on the screen as in the image.
    const std::string text = address.toStdString();
    const QImage one = QrCodeImage(text, 1);
    if (one.isNull()) {
        qrCode_->setText(QStringLiteral("地址太长，无法生成二维码"));
        return;
    }
    const qreal ratio = std::max<qreal>(1.0, devicePixelRatioF());
    const int moduleSize = std::max(1, static_cast<int>(std::floor(kQrSide * ratio / one.width())));
    QImage image = QrCodeImage(text, moduleSize);
    image.setDevicePixelRatio(ratio);
    qrCode_->setPixmap(QPixmap::fromImage(image));
    qrCode_->setToolTip(QStringLiteral("用手机扫描，打开 %1").arg(address));
}

void WebControlWindow::Tell(const QString& text) {
    s_.dialogs.Message(
        MessageRequest{text.toStdString(), "网页控制", MessageIcon::Information, MessageButtons::Ok, 0, false});
}

}  // namespace lingchao
