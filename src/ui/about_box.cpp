#include "ui/about_box.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/program_picture.h"
#include "ui/window_placement.h"

namespace lingchao {
namespace {
const char* kTitle = "铃潮";
}

QString AboutBox::VersionText() {
    return QStringLiteral("版本 %1.%2.%3")
        .arg(LINGCHAO_VERSION_MAJOR)
        .arg(LINGCHAO_VERSION_MINOR)
        .arg(LINGCHAO_VERSION_PATCH);
}

AboutBox::AboutBox(Dialogs& dialogs, SysInfoLauncher& sysInfo, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      sysInfo_(sysInfo) {
    setObjectName("frmAbout");
    setWindowTitle(QString::fromUtf8("关于 ") + QString::fromUtf8(kTitle));
    OpenOverOpener(this);

    auto* image = new QLabel(this);
    image->setObjectName("Image1");
    image->setPixmap(ProgramPicture(48));
    image->setAlignment(Qt::AlignTop);

    auto* title = new QLabel(QString::fromUtf8(kTitle), this);
    title->setObjectName("lblTitle");
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto* version = new QLabel(VersionText(), this);
    version->setObjectName("lblVersion");

    auto* description = new QLabel(
        QString::fromUtf8("主要用于学校作息时间控制,新改进的任务策略使周一升旗以及考试时间控制更加方便。"), this);
    description->setObjectName("lblDescription");
    description->setWordWrap(true);
    description->setMinimumWidth(300);

    // Etched separator: a grey line over a white one.
    auto* line = new QWidget(this);
    line->setObjectName("Line1");
    auto* lineLayout = new QVBoxLayout(line);
    lineLayout->setContentsMargins(0, 0, 0, 0);
    lineLayout->setSpacing(0);
    for (const char* colour : {"#808080", "#ffffff"}) {
        auto* stroke = new QFrame(line);
        stroke->setFixedHeight(1);
        stroke->setStyleSheet(QString("background-color: %1;").arg(colour));
        lineLayout->addWidget(stroke);
    }

    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);  // Esc closes the dialog the same way

    auto* sysInfoButton = new QPushButton(QString::fromUtf8("系统信息(&S)..."), this);
    sysInfoButton->setObjectName("cmdSysInfo");
    sysInfoButton->setAutoDefault(false);
    connect(sysInfoButton, &QPushButton::clicked, this, &AboutBox::StartSysInfo);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(description);
    auto* top = new QHBoxLayout;
    top->addWidget(image);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(sysInfoButton);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(line);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void AboutBox::StartSysInfo() {
    if (sysInfo_.Start()) return;
    dialogs_.Message({"此时系统信息不可用", kTitle, MessageIcon::None, MessageButtons::Ok});
}

}  // namespace lingchao
