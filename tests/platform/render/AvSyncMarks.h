#pragma once
// A file whose picture and sound carry matching marks, and the bookkeeping that finds them when
// it plays: black video with one white frame at every whole second from 1 s on, and silence with
// a 1 kHz tone burst starting at exactly the same times. A mark's offset is when its tone began
// to sound minus when its flash was shown, both by the graph's reference clock.
#include "platform/com/Types.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

namespace kestrine::platform::testing {

inline constexpr int kMarkedSeconds = 6;

// Made once by ffmpeg (wmv2 + wmav2 in ASF) and kept in the test work directory.
inline std::filesystem::path MakeMarkedMedia()
{
    const auto dir = test::WorkDir() / "media";
    std::filesystem::create_directories(dir);
    const auto file = dir / "av-marks-6s.wmv";
    if (std::filesystem::exists(file)) return file;
    const auto temp = dir / ("av-marks-" + std::to_string(::getpid()) + ".part.wmv");
    const std::string seconds = std::to_string(kMarkedSeconds);
    const auto r = test::RunProgram(
        "ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                   "color=c=black:s=320x240:r=25:d=" + seconds +
                       ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='gte(n\\,25)*eq(mod(n\\,25)\\,0)'",
                   "-f", "lavfi", "-i", "aevalsrc='0.5*sin(2*PI*1000*t)*gte(t\\,1)*lt(mod(t\\,1)\\,0.1)':s=44100:d=" + seconds,
                   "-c:v", "wmv2", "-g", "25", "-b:v", "400k", "-c:a", "wmav2", "-b:a", "64k", "-ac", "1", "-f", "asf", temp.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::filesystem::rename(temp, file);
    return file;
}

// Collects flash frames and tone onsets as they are rendered; safe from any thread.
class MarkRecorder {
public:
    struct Onset {
        double clockSeconds = 0;  // reference-clock time it was shown or began to sound
        double mediaSeconds = 0;  // its place in the file
    };

    // A picture in BGRA: a flash when its mean brightness is above half.
    void Picture(REFERENCE_TIME clock, REFERENCE_TIME media, const std::uint8_t* bgra, std::size_t size)
    {
        if (size < 4) return;
        std::uint64_t sum = 0;
        std::size_t n = 0;
        for (std::size_t i = 0; i + 4 <= size; i += 4 * 61, ++n) sum += bgra[i + 1];  // green, sampled
        if (n == 0 || sum / n < 128) return;
        Add(flashes_, Seconds(clock), Seconds(media));
    }

    // Signed 16-bit interleaved PCM from its first sample on: the first sample of a burst is the
    // first one louder than a fifth of full scale after a stretch of quiet.
    void Sound(REFERENCE_TIME clock, REFERENCE_TIME media, const std::uint8_t* pcm, std::size_t size, int channels, int rate)
    {
        if (channels <= 0 || rate <= 0) return;
        const std::size_t frame = static_cast<std::size_t>(channels) * 2;
        for (std::size_t i = 0; i + frame <= size; i += frame) {
            std::int16_t v;
            std::memcpy(&v, pcm + i, 2);
            if (std::abs(int(v)) < 6554) continue;
            const double offset = static_cast<double>(i / frame) / rate;
            Add(tones_, Seconds(clock) + offset, Seconds(media) + offset);
            return;  // one onset at most per block: the rest of it is the same burst
        }
    }

    // Offsets (tone minus flash, in ms) by the whole second of each mark seen in both.
    std::map<int, double> OffsetsMs() const
    {
        std::lock_guard lock(mutex_);
        std::map<int, double> out;
        for (const Onset& f : flashes_) {
            for (const Onset& t : tones_) {
                if (std::abs(t.mediaSeconds - f.mediaSeconds) < 0.2) {
                    out[static_cast<int>(std::lround(f.mediaSeconds))] = (t.clockSeconds - f.clockSeconds) * 1000.0;
                    break;
                }
            }
        }
        return out;
    }

    void Clear()
    {
        std::lock_guard lock(mutex_);
        flashes_.clear();
        tones_.clear();
    }

    std::string Describe() const
    {
        std::lock_guard lock(mutex_);
        std::string s = "flashes:";
        for (const Onset& f : flashes_) s += " " + std::to_string(f.mediaSeconds) + "@" + std::to_string(f.clockSeconds);
        s += "\ntones:";
        for (const Onset& t : tones_) s += " " + std::to_string(t.mediaSeconds) + "@" + std::to_string(t.clockSeconds);
        return s;
    }

private:
    static double Seconds(REFERENCE_TIME t) { return static_cast<double>(t) / kUnitsPerSecond; }

    // A new onset only when none was seen within half a second of it in the file.
    void Add(std::vector<Onset>& list, double clock, double media)
    {
        std::lock_guard lock(mutex_);
        for (const Onset& o : list)
            if (std::abs(o.mediaSeconds - media) < 0.5) return;
        list.push_back({clock, media});
    }

    mutable std::mutex mutex_;
    std::vector<Onset> flashes_;
    std::vector<Onset> tones_;
};

}  // namespace kestrine::platform::testing
