#include "ui/tidy_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lingchao {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TidyDialog::TidyDialog(const std::vector<StrayPath>& rows, const std::filesystem::path& appFolder, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("FormTidy"));
    setWindowTitle(QStringLiteral("整理音乐路径"));
    setWindowModality(Qt::ApplicationModal);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("下列音乐路径在本机不存在。按“确定”，找到的文件就写进原来的路径处；"
                                            "“未找到”的保持原样。要改动的文件先原样备份到程序文件夹的 backup 文件夹中，"
                                            "可用“文件”菜单的“恢复…”放回。"),
                             this);
    intro->setObjectName(QStringLiteral("Label1"));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    table_ = new QTableWidget(static_cast<int>(rows.size()), 3, this);
    table_->setObjectName(QStringLiteral("table"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("任务或列表"), QStringLiteral("原路径"), QStringLiteral("找到的文件")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const StrayPath& row = rows[static_cast<std::size_t>(i)];
        const QString texts[] = {Q(row.owner), Q(row.oldPath), Q(FoundColumnText(row, appFolder))};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(texts[column]);
            if (column == 2 && !row.CanTidy()) item->setForeground(QColor(0xb0, 0x20, 0x20));
            table_->setItem(i, column, item);
        }
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(0, std::min(table_->columnWidth(0), 240));
    table_->setColumnWidth(1, std::min(table_->columnWidth(1), 400));
    layout->addWidget(table_, 1);

    groupsAndLists_ = new QCheckBox(QStringLiteral("同时改正“job”文件夹中的任务组和“music”文件夹中的音乐列表"), this);
    groupsAndLists_->setObjectName(QStringLiteral("Check1"));
    groupsAndLists_->setChecked(true);
    layout->addWidget(groupsAndLists_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("Command1_0"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Command1_1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    ok->setDefault(true);
    ok->setFocus();
    resize(940, 380);
}

bool TidyDialog::groupsAndLists() const { return groupsAndLists_->isChecked(); }

}  // namespace lingchao
