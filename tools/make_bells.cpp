// Synthesises the bell sounds shipped with the program and the tones of its drill and emergency signals (our own,
// made at build time). The tones go into a C++ source: the program carries them, so no copy of it is ever without.
// Usage: make_bells <output folder> [<tone source to write>]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

struct Strike {
    double at;         // seconds
    double frequency;  // fundamental, Hz
    double level;
};

// A struck bell: a few inharmonic partials, each dying away at its own rate.
void AddStrike(std::vector<double>& out, const Strike& s) {
    static constexpr double kRatios[] = {0.5, 1.0, 1.19, 1.5, 2.0, 2.74, 3.0};
    static constexpr double kLevels[] = {0.35, 1.0, 0.45, 0.3, 0.35, 0.12, 0.08};
    static constexpr double kDecay[] = {0.9, 1.6, 2.2, 2.8, 3.4, 5.0, 6.0};
    const auto start = static_cast<std::size_t>(s.at * kRate);
    for (std::size_t i = start; i < out.size(); ++i) {
        const double t = static_cast<double>(i - start) / kRate;
        const double attack = std::min(1.0, t * 400.0);
        double v = 0;
        for (std::size_t p = 0; p < std::size(kRatios); ++p) {
            v += kLevels[p] * std::exp(-kDecay[p] * t) * std::sin(2 * kPi * s.frequency * kRatios[p] * t);
        }
        out[i] += s.level * attack * v;
    }
}

std::string Wav(const std::vector<double>& samples) {
    double peak = 1e-9;
    for (double v : samples) peak = std::max(peak, std::abs(v));
    std::vector<std::int16_t> pcm(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(std::lround(samples[i] / peak * 0.8 * 32767));
    }
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
    std::ostringstream f;
    auto u32 = [&f](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&f](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + dataBytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(dataBytes);
    f.write(reinterpret_cast<const char*>(pcm.data()), dataBytes);
    return f.str();
}

void WriteWav(const std::filesystem::path& path, const std::vector<double>& samples) {
    std::ofstream(path, std::ios::binary) << Wav(samples);
}

// A tone of harmonics switched on and off with short ramps, so that it never clicks; `hz(t)` may glide.
template <typename Pitch>
std::vector<double> Tone(double seconds, Pitch hz, double onSeconds = 0, double offSeconds = 0) {
    std::vector<double> out(static_cast<std::size_t>(seconds * kRate), 0.0);
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += 2 * kPi * hz(t) / kRate;
        double gate = std::min({1.0, t * 200.0, (seconds - t) * 200.0});
        if (onSeconds > 0) {
            const double in = std::fmod(t, onSeconds + offSeconds);
            gate = std::min({gate, in * 200.0, std::max(0.0, (onSeconds - in) * 200.0)});
        }
        out[i] = gate * (std::sin(phase) + 0.4 * std::sin(2 * phase) + 0.2 * std::sin(3 * phase));
    }
    return out;
}

// The tones as a C++ source: one string of bytes per tone, looked up by name.
void WriteToneSource(const std::filesystem::path& path,
                     const std::vector<std::pair<std::string, std::vector<double>>>& tones) {
    std::ofstream f(path, std::ios::binary);
    f << "// Written by make_bells: the tones of the drill and emergency signals, as WAV files.\n"
         "#include <string_view>\n\nnamespace lingchao {\n\nstd::string_view ToneBytes(std::string_view name) {\n";
    for (const auto& [name, samples] : tones) {
        const std::string wav = Wav(samples);
        f << "    if (name == \"" << name << "\") {\n        static constexpr char kWav[] =\n";
        for (std::size_t i = 0; i < wav.size(); i += 64) {
            f << "            \"";
            for (std::size_t k = i; k < std::min(wav.size(), i + 64); ++k) {
                static constexpr char kHex[] = "0123456789abcdef";
                const auto byte = static_cast<unsigned char>(wav[k]);
                f << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
            }
            f << "\"\n";
        }
        f << "            ;\n        return {kWav, " << wav.size() << "};\n    }\n";
    }
    f << "    return {};\n}\n\n}  // namespace lingchao\n";
}

std::vector<double> Chime(const std::vector<Strike>& strikes, double seconds) {
    std::vector<double> out(static_cast<std::size_t>(seconds * kRate), 0.0);
    for (const auto& s : strikes) AddStrike(out, s);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> [<tone source>]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const double e5 = 659.26, c5 = 523.25, d5 = 587.33, g4 = 392.00, c6 = 1046.5, g5 = 783.99;
    // Class begins: the four-note chime, then its answer.
    WriteWav(dir / "上课铃.wav", Chime({{0.0, e5, 1},
                                        {0.6, c5, 1},
                                        {1.2, d5, 1},
                                        {1.8, g4, 1.1},
                                        {3.0, g4, 1},
                                        {3.6, d5, 1},
                                        {4.2, e5, 1},
                                        {4.8, c5, 1.1}},
                                       7.5));
    // Class ends: a bright rising peal.
    WriteWav(dir / "下课铃.wav", Chime({{0.0, c5, 1},
                                        {0.35, e5, 1},
                                        {0.7, g5, 1},
                                        {1.05, c6, 1},
                                        {1.8, c5, 1},
                                        {2.15, e5, 1},
                                        {2.5, g5, 1},
                                        {2.85, c6, 1.2}},
                                       6.0));
    // Get ready: two soft strikes.
    WriteWav(dir / "预备铃.wav", Chime({{0.0, g5, 0.8}, {0.9, g5, 0.8}}, 3.5));
    if (argc == 3) {
        const auto steady = [](double) { return 880.0; };
        // A siren's wail: up and down between 600 and 1200 Hz every four seconds.
        const auto wail = [](double t) { return 900.0 - 300.0 * std::cos(2 * kPi * t / 4.0); };
        WriteToneSource(argv[2], {
                                     // Long enough that a signal of minutes is rarely started again.
                                     {"长鸣", Tone(30.0, steady)},
                                     // Higher than 长鸣, so the change of step is heard (and measured).
                                     {"短鸣", Tone(1.2, [](double) { return 1500.0; })},
                                     {"警报", Tone(8.0, wail)},
                                     {"集合", Tone(
                                                  3.0, [](double) { return 1200.0; }, 0.15, 0.1)},
                                     {"解除", Chime({{0.0, c5, 1}, {0.5, e5, 1}, {1.0, g5, 1}, {1.5, c6, 1.2}}, 4.5)},
                                 });
    }
    return 0;
}
