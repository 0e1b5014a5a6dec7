#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "base/playback_watch.h"

namespace lingchao {

// The player on the session bus as org.mpris.MediaPlayer2.lingchao, so that desktop panels, media keys and
// phone remotes show what plays and can play, pause or stop it. Needs a QCoreApplication.
class MprisService final : public QObject {
    Q_OBJECT
public:
    struct Commands {
        std::function<void()> play, pause, stop;
        std::function<void()> raise;  // shows the main window; empty without windows
    };

    explicit MprisService(Commands commands, QObject* parent = nullptr);
    ~MprisService() override;

    // Puts the player on the session bus. False, with the reason in `why`, when there is no session bus or the
    // name is taken; the program goes on without it.
    bool Register(QString* why);
    // Shows `now` to the bus's listeners (PropertiesChanged).
    void Update(const NowPlaying& now);

    const NowPlaying& now() const { return now_; }
    const Commands& commands() const { return commands_; }

private:
    Commands commands_;
    NowPlaying now_;
    bool registered_ = false;
};

}  // namespace lingchao
