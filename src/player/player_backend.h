#pragma once

#include <memory>

#include "base/media_player.h"
#include "player/gst_player.h"

namespace lingchao {

// Initialises GStreamer (loads its plugin registry); call at start-up, before the first bell, with main's
// arguments. False when it is unusable: then CreatePlayer gives a player that plays nothing.
bool InitPlayerBackend(int* argc, char*** argv);

// The program's player: GStreamer when the backend is usable, else one that keeps FileName and plays nothing.
// Create it, after the QCoreApplication, on the thread that will drive it (its bus is handled there).
std::unique_ptr<MediaPlayer> CreatePlayer(GstPlayerOptions options = {});

}  // namespace lingchao
