// What the listener hears: generated MP3 signals played through the engine's
// host-driven output in virtual time, with the effects chain in the master
// callback. Each effect is measured against the same track played with the
// effect off, so the decoder's own changes cancel out.
#include <cmath>
#include <complex>

#include "app/main_loop.h"
#include "app/text/number_text.h"
#include "effects_support.h"
#include "tests/playback/playback_support.h"

namespace korvane {
namespace {

using Complex = std::complex<double>;
constexpr double rate = 44100.0;

class ListeningTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        resetEffects();
        applyEffectSettings();
        heard = [this](const std::int16_t* samples, int count) { played.insert(played.end(), samples, samples + count); };
    }

    // Lets time pass a millisecond at a time, so that every buffer plays
    // within a millisecond of its time, as with a real output: automatic
    // volume measures its release by the clock.
    void play(double seconds) {
        for (int ms = 0; ms < roundToInt(seconds * 1000); ++ms) desk.sleepMs(1);
    }

    // The first seconds of a track as heard, from its start.
    Samples listen(const std::string& name, double seconds) {
        played.clear();
        setPlaylist({testTrack(name)});
        startAt(0);
        play(seconds);
        FBS_END_MP3STREAM();
        return played;
    }

    // A reference for automatic volume: the same track with the chain doing
    // nothing but pass the samples on, at automatic volume's master volume.
    Samples listenPlain(const std::string& name, double seconds) {
        const int mode = autovolMode;
        const int reverb = reverbMode;
        const int eq = equalizerOn;
        const float level = volume;
        autovolMode = reverbMode = equalizerOn = 0;
        volume = 1.0f;
        FBS_SET_MASTERVOLUME(0.9f);
        const Samples plain = listen(name, seconds);
        autovolMode = mode;
        reverbMode = reverb;
        equalizerOn = eq;
        volume = level;
        applyEffectSettings();
        return plain;
    }

    Samples played;
};

// Largest magnitude of both channels between two times.
int peakBetween(const Samples& samples, double from, double to) {
    int result = 0;
    const auto last = std::min(samples.size(), static_cast<std::size_t>(to * rate) * 2);
    for (std::size_t i = static_cast<std::size_t>(from * rate) * 2; i < last; ++i)
        result = std::max(result, std::abs(static_cast<int>(samples[i])));
    return result;
}

// --- Equalizer ---

void fft(std::vector<Complex>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const Complex step = std::polar(1.0, -2.0 * M_PI / static_cast<double>(length));
        for (std::size_t start = 0; start < n; start += length) {
            Complex w = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k, w *= step) {
                const Complex even = a[start + k];
                const Complex odd = a[start + k + length / 2] * w;
                a[start + k] = even + odd;
                a[start + k + length / 2] = even - odd;
            }
        }
    }
}

// Power per frequency bin of the left channel, n frames from frame start,
// through a Hann window.
std::vector<double> leftPower(const Samples& samples, std::size_t start, std::size_t n) {
    std::vector<Complex> a(n);
    for (std::size_t i = 0; i < n; ++i)
        a[i] = samples[(start + i) * 2] * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / n));
    fft(a);
    std::vector<double> power(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) power[k] = std::norm(a[k]);
    return power;
}

// The filter's response at angular frequency w: cascades of n one-pole
// low-passes, the high band taken from the input delayed by n - 1 samples.
Complex response(const EqChannel& c, int n, double w) {
    const Complex delay = std::polar(1.0, -w);
    const auto onePole = [&](double k) { return k / (1.0 - (1.0 - k) * delay); };
    const Complex low = std::pow(onePole(c.lowCoef), n);
    const Complex high = std::pow(onePole(c.highCoef), n);
    return double(c.midGain) * (high - low) + double(c.lowGain) * low +
           double(c.highGain) * (std::pow(delay, n - 1) - high);
}

TEST_F(ListeningTest, EqualizerBandsOfNoiseMatchTheFiltersResponse) {
    const std::size_t start = 22050;  // past the filter's settling
    const std::size_t n = 65536;
    const std::vector<double> plain = leftPower(listen("noise_44100_stereo", 2.1), start, n);
    const struct {
        EqualizerSettings settings;
        int order;
    } cases[] = {{{200, 8000, 2.0f, 1.0f, 1.2f}, 1},
                 {{300, 3000, 0.5f, 1.0f, 2.0f}, 2},
                 {{100, 5000, 3.0f, 0.3f, 1.5f}, 3},
                 {{500, 2000, 0.2f, 2.0f, 0.5f}, 4}};
    for (const auto& c : cases) {
        equalizer = c.settings;
        eqOrder = c.order;
        equalizerOn = 1;
        equalizerSetup();
        const std::vector<double> heardPower = leftPower(listen("noise_44100_stereo", 2.1), start, n);
        const EqChannel filter = equalizerChannel(c.settings, 44100);
        for (double low = 31.25; low < 16000; low *= 2) {  // octave bands
            double in = 0, out = 0, expected = 0;
            for (auto k = static_cast<std::size_t>(low * n / rate); k < 2 * low * n / rate; ++k) {
                in += plain[k];
                out += heardPower[k];
                expected += plain[k] * std::norm(response(filter, c.order, 2.0 * M_PI * k / n));
            }
            EXPECT_NEAR(10 * std::log10(out / in), 10 * std::log10(expected / in), 0.5)
                << "order " << c.order << ", octave from " << low << " Hz";
        }
    }
}

// --- Speed ---

TEST_F(ListeningTest, SpeedSetAtThePromptDuringATrackLowersItsPitchFromThen) {
    setPlaylist({testTrack("quiet_44100_stereo")});  // 440 Hz on the left
    startAt(0);
    play(0.5);
    desk.pushKey('s');
    desk.typeLine("80");
    desk.pushKey(key::Space);
    keyCode = 0;
    mainLoop();
    ASSERT_EQ(speed, 80.0f);
    const std::size_t from = played.size() / 2;
    const std::size_t n = 32768;
    play(1.0);
    const std::vector<double> power = leftPower(played, from, n);
    const auto loudest = std::max_element(power.begin() + 1, power.end()) - power.begin();
    EXPECT_NEAR(static_cast<double>(loudest) * rate / n, 352.0, 3.0);
}

// --- Reverb ---

// The gain by which `to` carries `from` lag frames later, by least squares
// over count frames from frame first; channels 0 left, 1 right.
double carried(const std::vector<double>& to, int toChannel, const Samples& from, int fromChannel,
               std::size_t first, std::size_t count, std::size_t lag) {
    double cross = 0, energy = 0;
    for (std::size_t f = first; f < first + count; ++f) {
        const double source = from[(f - lag) * 2 + fromChannel];
        cross += to[f * 2 + toChannel] * source;
        energy += source * source;
    }
    return cross / energy;
}

TEST_F(ListeningTest, ReverbEchoesANoiseBurstFromTheOtherChannelAtBothTaps) {
    const Samples plain = listen("burst_44100_stereo", 1.0);
    std::size_t burst = 0;
    while (std::abs(plain[burst * 2]) < 300) ++burst;
    const std::size_t length = 2205 + 200;

    reverbMode = 1;
    reverbSetup();
    const Samples withEcho = listen("burst_44100_stereo", 1.0);
    std::vector<double> echo(withEcho.size());  // what the reverb added
    for (std::size_t i = 0; i < echo.size(); ++i) echo[i] = withEcho[i] - plain[i];

    // Left sample n reads the line 19845 (26461) samples back: the right
    // sample of 9923 (13231) frames before; the right one reads the left
    // sample of 9922 (13230) frames before.
    const struct {
        int toChannel;
        std::size_t lag;
        double gain;
    } taps[] = {{0, 9923, 0.23}, {1, 9922, 0.23}, {0, 13231, 0.154}, {1, 13230, 0.154}};
    for (const auto& tap : taps) {
        const std::size_t first = burst + tap.lag - 100;
        EXPECT_NEAR(carried(echo, tap.toChannel, plain, 1 - tap.toChannel, first, length, tap.lag), tap.gain,
                    0.01)
            << "channel " << tap.toChannel << ", " << tap.lag << " frames";
        for (std::size_t off : {tap.lag - 1, tap.lag + 1})
            EXPECT_LT(std::abs(carried(echo, tap.toChannel, plain, 1 - tap.toChannel, first, length, off)),
                      0.5 * tap.gain)
                << "channel " << tap.toChannel << ", one frame beside " << tap.lag;
    }
}

// --- Automatic volume ---

TEST_F(ListeningTest, AutomaticVolumeBringsAQuietTrackUpToItsGainLimit) {
    volume = 1.7f;
    const int plainPeak = peakBetween(listenPlain("quiet_44100_stereo", 4.0), 2.5, 4.0);
    ASSERT_NEAR(plainPeak, 0.1 * 32768 * 0.9, 0.05 * plainPeak) << "-20 dBFS at master volume 0.9";
    autovolMode = 1;
    applyEffectSettings();
    const Samples louder = listen("quiet_44100_stereo", 4.0);
    EXPECT_EQ(agcGain, maxAgcGain) << "8.5 would reach 16384 x 1.7";
    EXPECT_NEAR(peakBetween(louder, 2.5, 4.0), 5.0 * plainPeak, 0.01 * 5 * plainPeak);
}

TEST_F(ListeningTest, AutomaticVolumeBringsAFullScaleTrackDownToTheTarget) {
    autovolMode = 1;
    applyEffectSettings();
    for (float level : {1.0f, 1.7f}) {
        volume = level;
        const double target = 16384.0 * level;
        EXPECT_NEAR(peakBetween(listen("loud_44100_stereo", 3.0), 1.5, 3.0), target, 0.015 * target)
            << "volume " << level;
    }
}

TEST_F(ListeningTest, APauseInTheMusicLeavesTheGainWhereItWas) {
    autovolMode = 1;
    volume = 1.7f;
    applyEffectSettings();
    played.clear();
    setPlaylist({testTrack("pause_44100_stereo")});
    startAt(0);
    play(2.7);  // the silence lasts from 2.5 s to 4.5 s
    const float before = agcGain;
    play(1.7);
    EXPECT_EQ(agcGain, before);
    play(0.3);
    // The music comes back at the level it left; the fast release that
    // follows a pause then adapts it again.
    const int first = peakBetween(played, 2.2, 2.45);
    EXPECT_NEAR(peakBetween(played, 4.55, 4.7), first, 0.01 * first);
}

TEST_F(ListeningTest, CompressorModesRaiseTheQuieterPassageByTheirMakeUpGain) {
    // A quiet passage at half the target stays below every threshold, so it
    // comes out raised by the make-up gain; the loud one stays at the target.
    const Samples plain = listenPlain("steps_44100_stereo", 5.0);
    const double stepIn = double(peakBetween(plain, 3.2, 4.9)) / peakBetween(plain, 1.5, 2.4);
    const struct {
        int mode;
        double threshold;  // share of the target
        double ratio;
    } modes[] = {{2, 0.83, 0.44}, {3, 0.83, 0.54}, {4, 0.73, 0.72}, {5, 0.70, 0.80}, {6, 0.60, 0.87}};
    for (const auto& m : modes) {
        autovolMode = m.mode;
        applyEffectSettings();
        const Samples out = listen("steps_44100_stereo", 5.0);
        const int loud = peakBetween(out, 1.5, 2.4);
        const double makeup = 1.0 / (1.0 - (1.0 - m.threshold) * m.ratio);
        EXPECT_NEAR(loud, 16384, 0.015 * 16384) << "mode " << m.mode;
        EXPECT_NEAR(peakBetween(out, 3.2, 4.9) / double(loud), stepIn * makeup, 0.015 * stepIn * makeup)
            << "mode " << m.mode;
    }
}

}  // namespace
}  // namespace korvane
