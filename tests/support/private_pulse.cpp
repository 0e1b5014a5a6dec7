#include "support/private_pulse.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace lingchao::test {
namespace {

bool HasTool(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

// The recording is raw S16LE; a half-written last frame is dropped.
std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 4 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return samples;
}

}  // namespace

PrivatePulse::PrivatePulse() {
    for (const char* tool : {"pulseaudio", "pactl", "pacat", "parec"}) {
        if (!HasTool(tool)) {
            problem_ = std::string(tool) + " is missing";
            return;
        }
    }
    std::filesystem::create_directories(temp_ / "run");
    std::filesystem::create_directories(temp_ / "home");
    std::filesystem::permissions(temp_ / "run", std::filesystem::perms::owner_all);
    socket_ = (temp_ / "run" / "native").string();
    if (const char* old = std::getenv("PULSE_SERVER")) {
        hadServer_ = true;
        oldServer_ = old;
    }
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    Start();
}

PrivatePulse::~PrivatePulse() {
    End(recorder_);
    Stop();
    if (hadServer_) {
        setenv("PULSE_SERVER", oldServer_.c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
}

pid_t PrivatePulse::Spawn(const std::vector<std::string>& argv, const std::string& stdinPath,
                          const std::string& stdoutPath) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.starts_with("HOME=") || entry.starts_with("XDG_RUNTIME_DIR=")) continue;
        env.push_back(entry);
    }
    env.push_back("HOME=" + (temp_ / "home").string());
    env.push_back("XDG_RUNTIME_DIR=" + (temp_ / "run").string());
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string errPath = (temp_ / "tools.err").string();
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void PrivatePulse::End(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool PrivatePulse::Pactl(const std::string& args) const {
    return std::system(("pactl " + args + " >/dev/null 2>&1").c_str()) == 0;
}

void PrivatePulse::Start() {
    if (server_ > 0) return;
    std::error_code ec;
    std::filesystem::remove(socket_, ec);
    server_ =
        Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
               "--log-target=file:" + (temp_ / "pa.log").string(),
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_,
               "--load=module-null-sink sink_name=cap rate=44100 channels=2 norewinds=1", "--load=module-always-sink"},
              "/dev/null", "/dev/null");
    // Far beyond need: the machine may be loaded.
    for (int i = 0; i < 300 && !Pactl("info"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!Pactl("info")) {
        problem_ = "pulseaudio did not start (see " + (temp_ / "pa.log").string() + ")";
        return;
    }
    keepAlive_ = Spawn({"pacat", "--playback", "--latency-msec=20", "--device=cap"}, "/dev/zero", "/dev/null");
}

void PrivatePulse::Stop() {
    End(keepAlive_);
    End(server_);
}

void PrivatePulse::StartRecording() {
    End(recorder_);
    const std::string raw = (temp_ / "capture.raw").string();
    recorder_ =
        Spawn({"parec", "--device=cap.monitor", "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20"},
              "/dev/null", raw);
    // Recording has begun once samples arrive (waited for far beyond need: the machine may be loaded).
    for (int i = 0; i < 1500; ++i) {
        std::error_code ec;
        if (std::filesystem::file_size(raw, ec) > 0 && !ec) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool PrivatePulse::HeardSoFar() const {
    const std::vector<std::int16_t> samples = Samples(ReadAll(temp_ / "capture.raw"));
    return std::any_of(samples.begin(), samples.end(), [](std::int16_t s) { return std::abs(s) > 100; });
}

std::vector<std::int16_t> PrivatePulse::StopRecording() {
    End(recorder_);
    return Samples(ReadAll(temp_ / "capture.raw"));
}

}  // namespace lingchao::test
