#include "ui/campus_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "ui/window_placement.h"

namespace lingchao {
namespace {

constexpr int kRefreshMs = 2000;
const char* const kPemFilter = "PEM 文件(*.pem;*.crt;*.key)|*.pem;*.crt;*.key|所有文件(*.*)|*.*|";
const QColor kWorryText(0xb7, 0x1c, 0x1c);
const QColor kWorryBackground(0xff, 0xeb, 0xee);

enum Column { kName, kOnline, kVersion, kClock, kOutput, kLastBell, kWarnings, kProblem, kColumns };

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLineEdit* Field(const char* name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

QString Ago(qint64 ms) {
    const qint64 s = ms / 1000;
    if (s < 60) return QStringLiteral("%1 秒前").arg(s);
    if (s < 3600) return QStringLiteral("%1 分钟前").arg(s / 60);
    return QStringLiteral("%1 小时前").arg(s / 3600);
}

// The cells of one PC's row, in column order.
QStringList Cells(const CampusPeer& peer) {
    QStringList cells(kColumns);
    cells[kName] = peer.name;
    cells[kOnline] = peer.online ? QStringLiteral("在线") : QStringLiteral("离线");
    if (peer.heardAgoMs >= 0) cells[kOnline] += QStringLiteral("（%1）").arg(Ago(peer.heardAgoMs));
    cells[kProblem] = peer.problem;
    if (!peer.status) {
        cells[kVersion] = QStringLiteral("尚无消息");
        return cells;
    }
    const CampusStatus& s = *peer.status;
    cells[kVersion] = s.version;
    cells[kClock] = s.clockSynced ? QStringLiteral("同步") : QStringLiteral("未同步");
    if (s.offsetMs) {
        const QString sign = *s.offsetMs >= 0 ? QStringLiteral("+") : QString();
        cells[kClock] += QStringLiteral(" %1%2 毫秒").arg(sign, QString::number(*s.offsetMs, 'f', 1));
    }
    cells[kOutput] = s.output;
    if (s.lastBell) {
        const CampusLastBell& b = *s.lastBell;
        cells[kLastBell] =
            QStringLiteral("%1 %2：%3，声音 %4 毫秒").arg(b.time, b.name, b.outcome).arg(b.soundMs, 0, 'f', 0);
    } else {
        cells[kLastBell] = QStringLiteral("今天还没有");
    }
    cells[kWarnings] = s.warnings.join(QStringLiteral("；"));
    return cells;
}

QString RoleName(CampusRole role) {
    switch (role) {
        case CampusRole::Main:
            return QStringLiteral("主控");
        case CampusRole::Standby:
            return QStringLiteral("备用");
        case CampusRole::Follower:
            break;
    }
    return QStringLiteral("分控");
}

}  // namespace

CampusWindow::CampusWindow(CampusServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      s_(std::move(services)) {
    setObjectName(QStringLiteral("campus"));
    setWindowTitle(QStringLiteral("校园"));
    OpenOverOpener(this);

    auto* settings = new QHBoxLayout;
    settings->addWidget(BuildBroker(), 3);
    settings->addWidget(BuildThisPc(), 2);
    problems_ = new QLabel(this);
    problems_->setObjectName(QStringLiteral("campusProblems"));
    problems_->setWordWrap(true);
    problems_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problems_->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    problems_->hide();

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    const std::pair<QDialogButtonBox::StandardButton, std::pair<const char*, const char*>> names[] = {
        {QDialogButtonBox::Ok, {"确定", "campusOk"}},
        {QDialogButtonBox::Apply, {"应用", "campusApply"}},
        {QDialogButtonBox::Cancel, {"取消", "campusCancel"}}};
    for (const auto& [which, name] : names) {
        buttons->button(which)->setText(QString::fromUtf8(name.first));
        buttons->button(which)->setObjectName(QString::fromLatin1(name.second));
        buttons->button(which)->setAutoDefault(false);
    }
    connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, [this] {
        if (Apply()) accept();
    });
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addLayout(settings);
    column->addWidget(problems_);
    column->addWidget(BuildPeers(), 1);
    column->addWidget(buttons);

    refresh_ = new QTimer(this);
    refresh_->setObjectName(QStringLiteral("campusRefresh"));
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &CampusWindow::Refresh);

    Load();
    resize(980, 640);
}

QWidget* CampusWindow::BuildBroker() {
    auto* box = new QGroupBox(QStringLiteral("服务器（MQTT broker）"), this);
    enabled_ = new QCheckBox(QStringLiteral("开启校园联网"), box);
    enabled_->setObjectName(QStringLiteral("campusEnabled"));
    host_ = Field("campusHost", box);
    host_->setPlaceholderText(QStringLiteral("如 192.168.1.10"));
    port_ = new QSpinBox(box);
    port_->setObjectName(QStringLiteral("campusPort"));
    port_->setRange(1, 65535);
    port_->setValue(CampusSettings{}.port);
    auto* where = new QHBoxLayout;
    where->addWidget(host_, 1);
    where->addWidget(new QLabel(QStringLiteral("端口："), box));
    where->addWidget(port_);

    user_ = Field("campusUser", box);
    password_ = Field("campusPassword", box);
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(QStringLiteral("输入新密码；留空则不更改"));
    passwordState_ = new QLabel(box);
    passwordState_->setObjectName(QStringLiteral("campusPasswordState"));
    auto* clear = Button(QStringLiteral("清除"), "campusPasswordClear", box);
    clear->setToolTip(QStringLiteral("按“应用”后删除保存的密码"));
    connect(clear, &QPushButton::clicked, this, [this] {
        clearPassword_ = true;
        password_->clear();
        ShowStates();
    });
    auto* password = new QHBoxLayout;
    password->addWidget(password_, 1);
    password->addWidget(passwordState_);
    password->addWidget(clear);

    auto* form = new QFormLayout(box);
    form->addRow(enabled_);
    form->addRow(QStringLiteral("地址："), where);
    form->addRow(QStringLiteral("用户名："), user_);
    form->addRow(QStringLiteral("密码："), password);

    caFile_ = Field("campusCaFile", box);
    certFile_ = Field("campusCertFile", box);
    keyFile_ = Field("campusKeyFile", box);
    const struct {
        QLineEdit* field;
        const char* caption;
        const char* title;
        const char* pick;
        const char* placeholder;
    } rows[] = {{caFile_, "CA 证书：", "选择 CA 证书（PEM）", "campusCaPick", "PEM 文件；设置后用 TLS 加密连接"},
                {certFile_, "客户端证书：", "选择客户端证书（PEM）", "campusCertPick", "可不填"},
                {keyFile_, "客户端密钥：", "选择客户端密钥（PEM）", "campusKeyPick", "可不填"}};
    for (const auto& row : rows) {
        row.field->setPlaceholderText(QString::fromUtf8(row.placeholder));
        auto* pick = Button(QStringLiteral("选择…"), row.pick, box);
        connect(pick, &QPushButton::clicked, this,
                [this, field = row.field, title = row.title] { PickFile(field, title); });
        auto* line = new QHBoxLayout;
        line->addWidget(row.field, 1);
        line->addWidget(pick);
        form->addRow(QString::fromUtf8(row.caption), line);
    }
    return box;
}

QWidget* CampusWindow::BuildThisPc() {
    auto* box = new QGroupBox(QStringLiteral("本机"), this);
    name_ = Field("campusName", box);
    name_->setPlaceholderText(QStringLiteral("如 教学楼A"));
    campus_ = Field("campusCampus", box);
    campus_->setPlaceholderText(QStringLiteral("如 第一中学；各台电脑须相同"));
    role_ = new QComboBox(box);
    role_->setObjectName(QStringLiteral("campusRole"));
    for (const CampusRole role : {CampusRole::Main, CampusRole::Follower, CampusRole::Standby}) {
        role_->addItem(RoleName(role), static_cast<int>(role));
    }
    role_->setItemData(0, QStringLiteral("下发任务表和校历"), Qt::ToolTipRole);
    role_->setItemData(1, QStringLiteral("接收主控的任务表和校历"), Qt::ToolTipRole);
    role_->setItemData(2, QStringLiteral("平时和分控一样，指定的电脑离线时替它响铃"), Qt::ToolTipRole);
    standbyFor_ = Field("campusStandbyFor", box);
    standbyFor_->setPlaceholderText(QStringLiteral("替哪台电脑备用"));
    connect(role_, &QComboBox::currentIndexChanged, this, [this] { ShowStates(); });

    auto* form = new QFormLayout(box);
    form->addRow(QStringLiteral("本机名称："), name_);
    form->addRow(QStringLiteral("校园名称："), campus_);
    form->addRow(QStringLiteral("角色："), role_);
    form->addRow(QStringLiteral("备用于："), standbyFor_);
    return box;
}

QWidget* CampusWindow::BuildPeers() {
    auto* box = new QGroupBox(QStringLiteral("校园的电脑"), this);
    link_ = new QLabel(box);
    link_->setObjectName(QStringLiteral("campusLink"));
    link_->setWordWrap(true);
    peers_ = new QTableWidget(0, kColumns, box);
    peers_->setObjectName(QStringLiteral("peers"));
    peers_->setHorizontalHeaderLabels({QStringLiteral("电脑"), QStringLiteral("在线"), QStringLiteral("版本"),
                                       QStringLiteral("时钟"), QStringLiteral("声音输出"), QStringLiteral("上一个铃声"),
                                       QStringLiteral("警告"), QStringLiteral("问题")});
    peers_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    peers_->setSelectionBehavior(QAbstractItemView::SelectRows);
    peers_->verticalHeader()->hide();
    peers_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    peers_->horizontalHeader()->setStretchLastSection(true);
    auto* column = new QVBoxLayout(box);
    column->addWidget(link_);
    column->addWidget(peers_, 1);
    return box;
}

void CampusWindow::Load() {
    const CampusSettingsRead read = ReadCampusSettings(s_.appFolder);
    stored_ = read.settings;
    enabled_->setChecked(stored_.enabled);
    host_->setText(stored_.host);
    port_->setValue(stored_.port);
    user_->setText(stored_.user);
    caFile_->setText(stored_.caFile);
    certFile_->setText(stored_.certFile);
    keyFile_->setText(stored_.keyFile);
    name_->setText(stored_.name);
    campus_->setText(stored_.campus);
    role_->setCurrentIndex(role_->findData(static_cast<int>(stored_.role)));
    standbyFor_->setText(stored_.standbyFor);
    // A value that did not read shows here as its default: the problem says what was there.
    ShowProblems(QStringLiteral("lingchao.ini 的校园设置有误，校园联网未开启："), read.problems);
    ShowStates();
}

void CampusWindow::ShowStates() {
    passwordState_->setText(!clearPassword_ && !stored_.password.isEmpty() ? QStringLiteral("已设置")
                                                                           : QStringLiteral("未设置"));
    standbyFor_->setEnabled(role_->currentData().toInt() == static_cast<int>(CampusRole::Standby));
}

void CampusWindow::ShowProblems(const QString& heading, const QStringList& problems) {
    problems_->setVisible(!problems.isEmpty());
    if (problems.isEmpty()) {
        problems_->clear();
        return;
    }
    problems_->setText(heading + QStringLiteral("\n· ") + problems.join(QStringLiteral("\n· ")));
}

void CampusWindow::PickFile(QLineEdit* field, const char* title) {
    // The three files usually lie side by side: start where any of them is.
    QString near = field->text().trimmed();
    for (const QLineEdit* other : {caFile_, certFile_, keyFile_}) {
        if (near.isEmpty()) near = other->text().trimmed();
    }
    const std::string start = near.isEmpty() ? s_.appFolder.string() : QFileInfo(near).absolutePath().toStdString();
    const auto chosen = s_.dialogs.OpenFile(FileDialogRequest{title, kPemFilter, start});
    if (chosen) field->setText(QString::fromStdString(*chosen));
}

bool CampusWindow::Apply() {
    // Read afresh, so that a password written meanwhile by hand is kept unless changed here.
    CampusSettings settings = ReadCampusSettings(s_.appFolder).settings;
    settings.enabled = enabled_->isChecked();
    QString host = host_->text().trimmed();
    if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    settings.host = host;
    settings.port = port_->value();
    settings.user = user_->text().trimmed();
    if (!password_->text().isEmpty()) {
        settings.password = password_->text();
    } else if (clearPassword_) {
        settings.password.clear();
    }
    settings.caFile = caFile_->text().trimmed();
    settings.certFile = certFile_->text().trimmed();
    settings.keyFile = keyFile_->text().trimmed();
    settings.name = name_->text().trimmed();
    settings.campus = campus_->text().trimmed();
    settings.role = static_cast<CampusRole>(role_->currentData().toInt());
    // Kept for a standby only: another role has no use for it, and an old one would only be checked for nothing.
    settings.standbyFor = settings.role == CampusRole::Standby ? standbyFor_->text().trimmed() : QString();

    QString why;
    if (!WriteCampusSettings(s_.appFolder, settings, &why)) {
        ShowProblems(QStringLiteral("设置没有保存："), why.split(u'\n', Qt::SkipEmptyParts));
        return false;
    }
    stored_ = settings;
    password_->clear();
    clearPassword_ = false;
    ShowProblems({}, {});
    ShowStates();
    if (s_.restart) s_.restart();
    Refresh();
    return true;
}

void CampusWindow::Refresh() {
    const CampusView view = s_.view ? s_.view() : CampusView{};
    link_->setText(view.on ? QStringLiteral("本机：%1　　%2").arg(view.role, view.link)
                           : QStringLiteral("校园联网未开启"));
    peers_->setRowCount(static_cast<int>(view.peers.size()));
    for (int r = 0; r < peers_->rowCount(); ++r) {
        const CampusPeer& peer = view.peers[static_cast<std::size_t>(r)];
        const QStringList cells = Cells(peer);
        const bool worry = !peer.problem.isEmpty();
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(worry ? peer.problem : cells[c]);
            if (worry) {
                item->setForeground(kWorryText);
                item->setBackground(kWorryBackground);
            }
            peers_->setItem(r, c, item);
        }
    }
}

void CampusWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Refresh();
    refresh_->start();
}

void CampusWindow::hideEvent(QHideEvent* event) {
    // Nobody looks: the view is not asked for.
    refresh_->stop();
    QDialog::hideEvent(event);
}

}  // namespace lingchao
