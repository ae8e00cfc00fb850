#include "cutter/KeyFrameReport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Version.h"
#include "asf/FormatError.h"
#include "asf/KnownGuids.h"
#include "asf/Protection.h"

namespace kestrine::cutter {

namespace {

template <typename... Args>
std::string Format(const char* fmt, Args... args)
{
    char buf[256];
    int n = std::snprintf(buf, sizeof buf, fmt, args...);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(std::min<int>(n, static_cast<int>(sizeof buf) - 1)));
}

std::string ClockText(std::int64_t ms)
{
    if (ms < 0) ms = 0;
    const long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
    return Format("%02lld:%02lld:%02lld.%03lld", h, m, s, f);
}

std::string AudioCodecName(std::uint16_t tag)
{
    switch (tag) {
        case 0x0001: return "PCM";
        case 0x000A: return "WMA Voice";
        case 0x0055: return "MP3";
        case 0x0160: return "WMA1";
        case 0x0161: return "WMA2";
        case 0x0162: return "WMA Pro";
        case 0x0163: return "WMA Lossless";
        default: return "audio codec";
    }
}

std::uint32_t StreamBitrate(const asf::Header& h, const asf::StreamProperties& s)
{
    for (const auto& b : h.streamBitrates)
        if (b.streamNumber == s.number) return b.averageBitrate;
    if (const auto* e = h.FindExtendedStreamProperties(s.number)) return e->dataBitrate;
    if (s.audio) return s.audio->averageBytesPerSecond * 8;
    return 0;
}

std::string StreamLine(const asf::Header& h, const asf::StreamProperties& s)
{
    std::string line = "Stream " + std::to_string(s.number) + ": ";
    switch (s.kind) {
        case asf::StreamKind::Video:
            line += "video";
            if (s.video)
                line += " " + s.video->CompressionText() + " " + std::to_string(s.video->width) + "x" +
                        std::to_string(std::abs(s.video->height));
            if (const auto* e = h.FindExtendedStreamProperties(s.number); e && e->averageTimePerFrame)
                line += Format(", %.3f fps", 1e7 / static_cast<double>(e->averageTimePerFrame));
            break;
        case asf::StreamKind::Audio:
            line += "audio";
            if (s.audio)
                line += " " + AudioCodecName(s.audio->formatTag) + Format(" (0x%04X) %u Hz %u ch", s.audio->formatTag,
                                                                         s.audio->samplesPerSecond, s.audio->channels);
            break;
        case asf::StreamKind::Command: line += "script commands"; break;
        default: line += "other (" + s.streamType.ToString() + ")"; break;
    }
    if (std::uint32_t bps = StreamBitrate(h, s)) line += Format(", %u kbit/s", (bps + 500) / 1000);
    if (s.errorCorrectionType == asf::guids::kAudioSpread) line += ", audio spread";
    if (s.Encrypted()) line += ", encrypted";
    std::string lang = h.StreamLanguage(s.number);
    if (!lang.empty()) line += ", language " + lang;
    return line;
}

// Play duration less preroll when the header knows it, else the last presentation time seen.
std::int64_t DurationMs(const asf::AsfFile& file, const asf::KeyFrameScan& scan)
{
    const auto& fp = file.Header().fileProperties;
    const std::int64_t preroll = static_cast<std::int64_t>(fp.prerollMs);
    if (!fp.Broadcast() && fp.playDuration) {
        std::int64_t d = static_cast<std::int64_t>(fp.playDuration / 10000) - preroll;
        if (d > 0) return d;
    }
    if (scan.sawPresentationTime) return std::max<std::int64_t>(0, file.TimelineMs(scan.lastPresentationTimeMs));
    return 0;
}

}  // namespace

std::string SafeReportText(std::string text, std::size_t maxLength)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    // Collapse the run of blanks before any X, so no line made from outside text looks like a keyframe.
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == 'X' && out.size() >= 2 && out[out.size() - 1] == ' ' && out[out.size() - 2] == ' ') {
            while (out.size() >= 2 && out[out.size() - 1] == ' ' && out[out.size() - 2] == ' ') out.pop_back();
        }
        out.push_back(c);
    }
    if (out.size() > maxLength) {
        std::size_t cut = maxLength - 3;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
        out = out.substr(0, cut) + "...";
    }
    return out;
}

// Eight columns hold 27 hours of milliseconds; short lines keep the report small for the editor's pipe.
std::string KeyFrameLine(long long timeMs) { return Format("%8lld  X", timeMs); }

std::vector<std::string> ReportHeaderLines(const asf::AsfFile& file, const asf::KeyFrameScan& scan)
{
    const asf::Header& h = file.Header();
    const auto& fp = h.fileProperties;
    const auto& data = file.Data();
    std::vector<std::string> lines;
    lines.push_back("asfbin.exe " KESTRINE_VERSION " keyframe report");
    lines.push_back("File: " + file.Path().filename().string());
    lines.push_back("Size: " + std::to_string(file.FileSize()) + " bytes");
    const std::int64_t duration = DurationMs(file, scan);
    lines.push_back("Duration: " + ClockText(duration) + " (" + std::to_string(duration) + " ms)");
    lines.push_back("Preroll: " + std::to_string(fp.prerollMs) + " ms" + (fp.Broadcast() ? ", broadcast" : "") +
                    (fp.Seekable() ? ", seekable" : ""));
    lines.push_back("Packets: " + std::to_string(data.packetCount) + " of " + std::to_string(data.packetSize) +
                    " bytes" + (data.truncated ? " (truncated)" : ""));
    if (file.SimpleIndexes().empty()) {
        lines.push_back("Index: none");
    } else {
        const auto& idx = file.SimpleIndexes().front();
        lines.push_back("Index: " + std::to_string(idx.entries.size()) + " entries, " +
                        std::to_string(idx.entryTimeInterval / 10000) + " ms apart");
    }
    constexpr std::size_t kStreamLines = 6;
    const std::size_t n = h.streams.size();
    for (std::size_t i = 0; i < n && i < kStreamLines; ++i) {
        if (i == kStreamLines - 1 && n > kStreamLines) {
            lines.push_back("... and " + std::to_string(n - i) + " more streams");
            break;
        }
        lines.push_back(StreamLine(h, h.streams[i]));
    }
    std::string title = h.contentDescription ? h.contentDescription->title : std::string();
    if (!title.empty()) lines.push_back("Title: " + title);
    while (lines.size() < kReportHeaderLines - 1) lines.push_back("");
    if (lines.size() > kReportHeaderLines - 1) lines.resize(kReportHeaderLines - 1);

    std::string last;
    if (scan.streamNumber == 0)
        last = "No stream to report.";
    else if (scan.kind == asf::StreamKind::Video)
        last = "Keyframes of video stream " + std::to_string(scan.streamNumber) + ", time in ms:";
    else
        last = "No video: starts of media objects of stream " + std::to_string(scan.streamNumber) +
               ", at least 1 s apart, time in ms:";
    lines.push_back(last);
    for (auto& l : lines) l = SafeReportText(l);
    return lines;
}

std::string KeyFrameReport::Text() const
{
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += '\n';
    }
    return out;
}

KeyFrameReport MakeKeyFrameReport(const std::filesystem::path& path)
{
    KeyFrameReport report;
    const std::string name = SafeReportText(path.string(), 400);
    try {
        asf::AsfFile file = asf::AsfFile::Open(path);
        asf::KeyFrameScan scan = asf::ScanKeyFrames(file);
        report.lines = ReportHeaderLines(file, scan);

        // The editor ignores a sign and would read -40 as 40, so points before the start are
        // shown at 0 (where a seek lands anyway).
        long long previous = -1;
        std::size_t count = 0;
        for (const auto& p : scan.points) {
            long long t = std::max<long long>(0, p.timeMs);
            if (t == previous) continue;
            report.lines.push_back(KeyFrameLine(t));
            previous = t;
            ++count;
        }
        const char* noun = scan.kind == asf::StreamKind::Video ? "keyframes" : "cut points";
        report.lines.push_back(SafeReportText("Found " + std::to_string(count) + " " + noun + " in " +
                                              std::to_string(scan.packetsRead) + " packets."));

        std::vector<std::string> warnings;
        const auto& data = file.Data();
        if (data.truncated)
            warnings.push_back("the file is truncated: only the " + std::to_string(data.packetCount) +
                               " complete packets were read");
        if (scan.damagedPackets)
            warnings.push_back(std::to_string(scan.damagedPackets) + " damaged packets skipped (first: " +
                               scan.firstDamage + ")");
        for (const auto& w : file.Warnings()) warnings.push_back(w);
        if (const auto protection = asf::ProtectionOf(file.Header()))
            warnings.push_back("the media are protected by rights management (" + *protection +
                               "): listed here, but not cut, joined or copied");
        for (const auto& w : warnings) report.lines.push_back(SafeReportText("Warning: " + name + ": " + w, 600));
        report.exitCode = (data.truncated || scan.damagedPackets) ? 1 : 0;
    } catch (const asf::FormatError& e) {
        report.lines = {SafeReportText("Error: " + name + ": " + e.what(), 600)};
        report.exitCode = 1;
    } catch (const std::bad_alloc&) {
        report.lines = {SafeReportText("Error: " + name + ": out of memory", 600)};
        report.exitCode = 1;
    } catch (const std::exception& e) {
        report.lines = {SafeReportText("Error: " + name + ": " + e.what(), 600)};
        report.exitCode = 1;
    }
    return report;
}

}  // namespace kestrine::cutter
