#pragma once

namespace lingchao {

// SIGTERM, SIGINT and SIGHUP (the session ending, the system shutting down, Ctrl+C) end the Qt event loop
// instead of the process, so that what is still held (a bell's line waiting for its proof of sound) is written.
// Call once, after the QCoreApplication exists.
void QuitEventLoopOnTermination();

}  // namespace lingchao
