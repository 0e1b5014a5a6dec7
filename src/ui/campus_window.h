#pragma once

#include <QDialog>
#include <QString>
#include <filesystem>
#include <functional>

#include "base/dialogs.h"
#include "campus/campus_settings.h"
#include "campus/campus_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace lingchao {

// What the 校园 window needs of the program.
struct CampusServices {
    std::filesystem::path appFolder;  // where lingchao.ini is
    Dialogs& dialogs;
    std::function<CampusView()> view;  // the campus as it stands, asked every few seconds while the window shows
    std::function<void()> restart;     // the settings were written: the campus starts again with them
};

// "校园": this PC's place in a campus that shares one timetable over a broker (the [campus] settings), and below
// them every PC of the campus as it last reported itself, a worrying one in red.
class CampusWindow final : public QDialog {
    Q_OBJECT
public:
    explicit CampusWindow(CampusServices services, QWidget* parent = nullptr);

    // 应用: writes the settings and restarts the campus. False when they were not written; why is shown in the
    // window, with what was typed left there to be corrected.
    bool Apply();
    // The connection line and the table, from the program's view as it is now.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* BuildBroker();
    QWidget* BuildThisPc();
    QWidget* BuildPeers();
    void Load();
    void ShowStates();
    void ShowProblems(const QString& heading, const QStringList& problems);
    void PickFile(QLineEdit* field, const char* title);

    CampusServices s_;
    CampusSettings stored_;  // as last read or written
    bool clearPassword_ = false;
    QCheckBox* enabled_ = nullptr;
    QLineEdit* host_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLineEdit* caFile_ = nullptr;
    QLineEdit* certFile_ = nullptr;
    QLineEdit* keyFile_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* passwordState_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* campus_ = nullptr;
    QComboBox* role_ = nullptr;
    QLineEdit* standbyFor_ = nullptr;
    QLabel* problems_ = nullptr;
    QLabel* link_ = nullptr;
    QTableWidget* peers_ = nullptr;
    QTimer* refresh_ = nullptr;
};

}  // namespace lingchao
