// Writes the demo disc image (Demo.cue + Demo.bin) that Quillmere offers when
// no drive and no image is there: four short synthesized pieces with CD-Text.
// The sheet is UTF-8 (the program tells a UTF-8 sheet from a Latin-1 one), so
// it reads right in any editor and packaging checks accept it.
// Usage: quillmere_demodisc OUTPUT_FOLDER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSectorBytes = 2352;

struct Piece {
    const char* title; // UTF-8
    double bpm;
    int bars;           // four beats each
    int root;           // MIDI note of the key
    std::vector<int> chords;  // scale degrees (0-6), one per bar, repeated
    std::vector<int> melody;  // scale steps per eighth note; -1 rests
    double brightness;  // how many overtones the lead has
};

double Hz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

int MajorScale(int root, int degree)
{
    static const int steps[] = {0, 2, 4, 5, 7, 9, 11};
    const int octave = degree >= 0 ? degree / 7 : (degree - 6) / 7;
    return root + 12 * octave + steps[degree - 7 * octave];
}

// A plucked, bell-like note: a few decaying partials.
void Pluck(std::vector<double>& l, std::vector<double>& r, double start, double seconds, double hz, double gain,
           double pan, double brightness)
{
    const auto first = static_cast<std::size_t>(start * kRate);
    const auto count = static_cast<std::size_t>(seconds * kRate);
    for (std::size_t i = 0; i < count && first + i < l.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double attack = std::min(1.0, t / 0.008);
        const double release = std::min(1.0, (seconds - t) / 0.05);
        double v = 0;
        for (int k = 1; k <= 4; ++k) {
            const double partial = std::sin(2 * std::numbers::pi * hz * k * t) / (k * k);
            v += partial * std::exp(-t * (1.5 + k * (3.0 - brightness)));
        }
        v *= gain * attack * std::max(0.0, release);
        l[first + i] += v * (1 - pan);
        r[first + i] += v * (1 + pan);
    }
}

// A soft pad for the harmony: detuned sines that swell and fade.
void Pad(std::vector<double>& l, std::vector<double>& r, double start, double seconds, double hz, double gain)
{
    const auto first = static_cast<std::size_t>(start * kRate);
    const auto count = static_cast<std::size_t>(seconds * kRate);
    for (std::size_t i = 0; i < count && first + i < l.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double env = std::sin(std::numbers::pi * t / seconds);
        const double a = std::sin(2 * std::numbers::pi * hz * 0.998 * t);
        const double b = std::sin(2 * std::numbers::pi * hz * 1.002 * t);
        l[first + i] += gain * env * a;
        r[first + i] += gain * env * b;
    }
}

std::vector<std::uint8_t> Render(const Piece& p)
{
    const double beat = 60.0 / p.bpm;
    const double seconds = p.bars * 4 * beat + 1.5; // room for the last ring
    std::vector<double> l(static_cast<std::size_t>(seconds * kRate)), r(l.size());
    for (int bar = 0; bar < p.bars; ++bar) {
        const double at = bar * 4 * beat;
        const int degree = p.chords[static_cast<std::size_t>(bar) % p.chords.size()];
        // Harmony: the chord's triad as a pad, its root as a plucked bass on beats 1 and 3.
        for (int n : {0, 2, 4})
            Pad(l, r, at, 4 * beat, Hz(MajorScale(p.root, degree + n)), 0.05);
        for (int b : {0, 2})
            Pluck(l, r, at + b * beat, 1.8 * beat, Hz(MajorScale(p.root - 24, degree)), 0.32, 0.0, 1.0);
        // Melody: eighth notes, shaped around the chord; the last bar holds.
        for (int e = 0; e < 8; ++e) {
            const int step = p.melody[static_cast<std::size_t>(bar * 8 + e) % p.melody.size()];
            if (step < 0 || (bar == p.bars - 1 && e > 0))
                continue;
            const double length = bar == p.bars - 1 ? 4 * beat : 0.9 * beat;
            Pluck(l, r, at + e * beat / 2, length, Hz(MajorScale(p.root + 12, degree + step)), 0.22,
                  e % 2 ? 0.25 : -0.25, p.brightness);
        }
    }
    double peak = 0;
    for (std::size_t i = 0; i < l.size(); ++i)
        peak = std::max({peak, std::abs(l[i]), std::abs(r[i])});
    const double scale = 0.8 * 32767 / std::max(peak, 1e-9);
    std::vector<std::uint8_t> pcm;
    pcm.reserve(l.size() * 4);
    for (std::size_t i = 0; i < l.size(); ++i) {
        for (double v : {l[i], r[i]}) {
            const auto s = static_cast<std::int16_t>(std::lround(v * scale));
            pcm.push_back(static_cast<std::uint8_t>(s & 0xFF));
            pcm.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
        }
    }
    pcm.resize((pcm.size() + kSectorBytes - 1) / kSectorBytes * kSectorBytes, 0);
    return pcm;
}

std::string Msf(std::size_t sectors)
{
    char text[64];
    std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu", sectors / 75 / 60, sectors / 75 % 60, sectors % 75);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::vector<Piece> pieces = {
        {"Morning Quill", 96, 12, 60, {0, 4, 5, 3}, {0, 2, 4, 2, 7, 4, 2, -1, 0, 2, 4, 5, 4, 2, 1, -1}, 1.2},
        {"Paper Lanterns", 84, 10, 62, {0, 5, 3, 4}, {4, -1, 2, 4, 5, 4, 2, 0, 2, -1, 4, 2, 0, -1, 1, 2}, 0.8},
        {"Caf\xC3\xA9 Inkwell", 120, 16, 57, {0, 3, 4, 0}, {0, 4, 7, 4, 2, 4, 0, -1, 7, 5, 4, 2, 4, 2, 0, -1}, 1.6},
        {"Evening Margin", 72, 9, 55, {0, 5, 1, 4}, {2, -1, 4, -1, 5, 4, 2, -1, 0, -1, 2, 1, 0, -1, -1, -1}, 0.6},
    };
    const std::filesystem::path folder(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);

    std::string cue = "PERFORMER \"Quillmere\"\nTITLE \"Demo Disc\"\nFILE \"Demo.bin\" BINARY\n";
    std::ofstream bin(folder / "Demo.bin", std::ios::binary | std::ios::trunc);
    std::size_t sectors = 0;
    int number = 1;
    for (const Piece& p : pieces) {
        const std::vector<std::uint8_t> pcm = Render(p);
        char head[64];
        std::snprintf(head, sizeof head, "  TRACK %02d AUDIO\n", number++);
        cue += head;
        cue += std::string("    TITLE \"") + p.title + "\"\n    PERFORMER \"Quillmere\"\n";
        cue += "    INDEX 01 " + Msf(sectors) + "\n";
        bin.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
        sectors += pcm.size() / kSectorBytes;
    }
    std::ofstream cueFile(folder / "Demo.cue", std::ios::binary | std::ios::trunc);
    cueFile << cue;
    if (!bin.good() || !cueFile.good()) {
        std::fprintf(stderr, "quillmere_demodisc: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
