#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "campus/campus_message.h"

namespace lingchao {

// One PC of the campus as the 校园 window lists it: what it last said of itself and whether that is a worry.
struct CampusPeer {
    QString name;
    std::optional<CampusStatus> status;  // none until it has said anything
    bool online = false;                 // its retained status says so and its last will has not come since
    qint64 heardAgoMs = -1;              // since its last status message arrived; -1: never
    QString problem;  // why its row is red ("离线", "上一个铃声没有声音", "时钟偏差 80 毫秒"…); "" when none
};

// What the 校园 window shows: a copy taken on the campus thread, read on the windows' thread.
struct CampusView {
    bool on = false;                // [campus] enabled, and its settings usable
    QString role;                   // 主控, 分控 or 备用（教学楼A）
    QString link;                   // "已连接 broker:1883", or "与 broker:1883 断开 2 分钟：原因"
    std::vector<CampusPeer> peers;  // this PC first, the others by name
};

}  // namespace lingchao
