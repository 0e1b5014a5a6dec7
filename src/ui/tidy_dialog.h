#pragma once

#include <QDialog>
#include <filesystem>
#include <vector>

#include "music/path_tidy.h"

class QCheckBox;
class QTableWidget;

namespace lingchao {

// "整理音乐路径": the table of stored paths that name no file here (job or list, old path, the file found or
// "未找到"), a check box for the job groups and music lists (ticked), and 确定 / 取消. Only shows; the caller
// tidies when it is accepted.
class TidyDialog final : public QDialog {
    Q_OBJECT
public:
    TidyDialog(const std::vector<StrayPath>& rows, const std::filesystem::path& appFolder, QWidget* parent = nullptr);

    bool groupsAndLists() const;
    QTableWidget* table() const { return table_; }

private:
    QTableWidget* table_ = nullptr;
    QCheckBox* groupsAndLists_ = nullptr;
};

}  // namespace lingchao
