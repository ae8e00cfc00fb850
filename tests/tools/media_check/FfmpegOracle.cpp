#include "FfmpegOracle.h"

#include "support/TestMedia.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <locale>
#include <set>
#include <sstream>

namespace kestrine::mediacheck {

using kestrine::test::RunProgram;

namespace {

double ParseSeconds(const std::string& text, double fallback)
{
    if (text.empty() || text == "N/A") return fallback;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double v = fallback;
    return in >> v ? v : fallback;
}

std::vector<std::string> SplitCsv(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
}

}  // namespace

ProbedFile ProbeFile(const std::filesystem::path& file)
{
    ProbedFile probed;
    const auto r = RunProgram("ffprobe", {"-v", "warning", "-show_entries", "format=format_name:stream=codec_type,codec_name,duration",
                                          "-of", "json", file.string()},
                              20);
    probed.protectedContent = r.err.find("DRM protected") != std::string::npos;
    if (r.exitCode != 0) return probed;
    const QJsonObject top = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonObject format = top.value("format").toObject();
    probed.readable = !format.isEmpty();
    probed.formatName = format.value("format_name").toString().toStdString();
    for (const auto& s : top.value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        probed.streams.push_back({o.value("codec_type").toString().toStdString(), o.value("codec_name").toString("unknown").toStdString()});
        probed.durationSeconds = std::max(probed.durationSeconds, ParseSeconds(o.value("duration").toString().toStdString(), -1));
    }
    // A guess where the header's length does not hold (a file cut short) is no length at all.
    if (r.err.find("Estimating duration") != std::string::npos) probed.durationSeconds = -1;
    return probed;
}

std::map<int, std::vector<ProbedObject>> ProbeObjects(const std::filesystem::path& file)
{
    std::map<int, std::vector<ProbedObject>> objects;
    const auto r = RunProgram("ffprobe", {"-v", "error", "-show_entries", "packet=stream_index,pts_time,dts_time,duration_time,flags",
                                          "-of", "csv=p=0", file.string()},
                              20);
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        // stream_index,pts_time,dts_time,duration_time,flags; FFmpeg's reader leaves the pts out of
        // streams stored in decode order, whose dts is then the object's time in the file.
        const auto f = SplitCsv(line);
        if (f.size() < 5) continue;
        ProbedObject o;
        o.seconds = ParseSeconds(f[1], ParseSeconds(f[2], -1e9));
        if (o.seconds == -1e9) continue;
        o.lengthSeconds = ParseSeconds(f[3], 0);
        o.key = f[4].find('K') != std::string::npos;
        objects[std::stoi(f[0])].push_back(o);
    }
    return objects;
}

std::map<int, QImage> DecodePictures(const std::filesystem::path& file, int streamIndex, QSize size, const std::vector<int>& frames)
{
    std::map<int, QImage> pictures;
    const std::set<int> wanted(frames.begin(), frames.end());
    if (wanted.empty() || size.isEmpty()) return pictures;
    std::string select = "select='";
    for (auto it = wanted.begin(); it != wanted.end(); ++it) select += (it == wanted.begin() ? "" : "+") + ("eq(n\\," + std::to_string(*it) + ")");
    select += "'";
    // Every decoded picture passes in order, so n counts pictures as FFmpeg presents them.
    const auto r = RunProgram("ffmpeg", {"-v", "error", "-i", file.string(), "-map", "0:" + std::to_string(streamIndex), "-vf", select,
                                         "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "bgra", "-"},
                              25);
    const auto frameBytes = static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()) * 4;
    auto next = wanted.begin();
    for (std::size_t at = 0; at + frameBytes <= r.out.size() && next != wanted.end(); at += frameBytes, ++next) {
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            std::copy_n(r.out.data() + at + static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width()) * 4, size.width() * 4,
                        reinterpret_cast<char*>(picture.scanLine(y)));
        pictures.emplace(*next, std::move(picture));
    }
    return pictures;
}

}  // namespace kestrine::mediacheck
