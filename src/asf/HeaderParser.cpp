#include "asf/HeaderParser.h"

#include <algorithm>
#include <cstdio>

#include "asf/ByteReader.h"
#include "asf/FormatError.h"
#include "asf/KnownGuids.h"
#include "asf/Text.h"

namespace kestrine::asf {

namespace {

constexpr std::size_t kObjectHeaderSize = 24;

std::vector<std::uint8_t> ToVector(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

// Splits a run of objects (the children of the Header or of the Header Extension).
std::vector<RawObject> SplitObjects(std::span<const std::uint8_t> bytes, std::uint64_t baseOffset,
                                    std::string_view container)
{
    std::vector<RawObject> out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < kObjectHeaderSize)
            throw FormatError(std::string(container) + " ends inside an object header");
        ByteReader r(bytes.subspan(pos), container);
        RawObject obj;
        obj.id = r.ReadGuid();
        std::uint64_t size = r.U64();
        if (size < kObjectHeaderSize || size > bytes.size() - pos)
            throw FormatError("object " + obj.id.ToString() + " in " + std::string(container) + " claims " +
                              std::to_string(size) + " bytes, but only " + std::to_string(bytes.size() - pos) +
                              " remain");
        obj.bytes = ToVector(bytes.subspan(pos, static_cast<std::size_t>(size)));
        obj.fileOffset = baseOffset + pos;
        out.push_back(std::move(obj));
        pos += static_cast<std::size_t>(size);
    }
    return out;
}

ByteReader BodyOf(std::span<const std::uint8_t> object, std::string_view what)
{
    ByteReader r(object, what);
    r.Skip(kObjectHeaderSize);
    return r;
}

std::string ReadUtf16(ByteReader& r, std::size_t byteLength) { return Utf16LeToUtf8(r.Bytes(byteLength)); }

StreamKind KindOf(const Guid& type)
{
    if (type == guids::kAudioMedia) return StreamKind::Audio;
    if (type == guids::kVideoMedia || type == guids::kJfifMedia || type == guids::kDegradableJpegMedia)
        return StreamKind::Video;
    if (type == guids::kCommandMedia) return StreamKind::Command;
    return StreamKind::Other;
}

std::optional<VideoFormat> ParseVideoFormat(std::span<const std::uint8_t> block)
{
    try {
        ByteReader r(block, "video format block");
        VideoFormat v;
        v.encodedWidth = r.U32();
        v.encodedHeight = r.U32();
        v.reservedFlags = r.U8();
        std::uint16_t size = r.U16();
        v.formatData = ToVector(r.Bytes(size));
        ByteReader b(v.formatData, "BITMAPINFOHEADER");
        b.U32();
        v.width = static_cast<std::int32_t>(b.U32());
        v.height = static_cast<std::int32_t>(b.U32());
        b.U16();
        v.bitCount = b.U16();
        v.compression = b.U32();
        return v;
    } catch (const FormatError&) {
        return std::nullopt;
    }
}


std::optional<AudioSpread> ParseAudioSpread(std::span<const std::uint8_t> data)
{
    try {
        ByteReader r(data, "audio spread data");
        AudioSpread s;
        s.span = r.U8();
        s.virtualPacketLength = r.U16();
        s.virtualChunkLength = r.U16();
        s.silenceDataLength = r.U16();
        s.silenceData = ToVector(r.Bytes(std::min<std::size_t>(s.silenceDataLength, r.Remaining())));
        return s;
    } catch (const FormatError&) {
        return std::nullopt;
    }
}

std::vector<CodecEntry> ParseCodecList(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Codec List Object");
    r.ReadGuid();
    std::uint32_t count = r.U32();
    std::vector<CodecEntry> out;
    for (std::uint32_t i = 0; i < count; ++i) {
        CodecEntry e;
        e.type = r.U16();
        e.name = ReadUtf16(r, std::size_t{r.U16()} * 2);
        e.description = ReadUtf16(r, std::size_t{r.U16()} * 2);
        e.information = ToVector(r.Bytes(r.U16()));
        out.push_back(std::move(e));
    }
    return out;
}

ContentDescription ParseContentDescription(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Content Description Object");
    std::uint16_t len[5];
    for (auto& l : len) l = r.U16();
    ContentDescription c;
    c.title = ReadUtf16(r, len[0]);
    c.author = ReadUtf16(r, len[1]);
    c.copyright = ReadUtf16(r, len[2]);
    c.description = ReadUtf16(r, len[3]);
    c.rating = ReadUtf16(r, len[4]);
    return c;
}

std::vector<Descriptor> ParseExtendedContent(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Extended Content Description Object");
    std::uint16_t count = r.U16();
    std::vector<Descriptor> out;
    for (std::uint16_t i = 0; i < count; ++i) {
        Descriptor d;
        d.name = ReadUtf16(r, r.U16());
        d.dataType = r.U16();
        d.value = ToVector(r.Bytes(r.U16()));
        out.push_back(std::move(d));
    }
    return out;
}

// Metadata and Metadata Library share one record layout; Metadata's first word is reserved.
std::vector<Descriptor> ParseMetadata(std::span<const std::uint8_t> object, bool library)
{
    ByteReader r = BodyOf(object, library ? "Metadata Library Object" : "Metadata Object");
    std::uint16_t count = r.U16();
    std::vector<Descriptor> out;
    for (std::uint16_t i = 0; i < count; ++i) {
        Descriptor d;
        std::uint16_t first = r.U16();
        if (library) d.languageIndex = first;
        d.streamNumber = r.U16();
        std::uint16_t nameLength = r.U16();
        d.dataType = r.U16();
        std::uint32_t dataLength = r.U32();
        d.name = ReadUtf16(r, nameLength);
        d.value = ToVector(r.Bytes(dataLength));
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<StreamBitrate> ParseStreamBitrates(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Stream Bitrate Properties Object");
    std::uint16_t count = r.U16();
    std::vector<StreamBitrate> out;
    for (std::uint16_t i = 0; i < count; ++i) {
        StreamBitrate b;
        b.streamNumber = r.U16() & 0x7F;
        b.averageBitrate = r.U32();
        out.push_back(b);
    }
    return out;
}

void ParseMarkers(std::span<const std::uint8_t> object, Header& h)
{
    ByteReader r = BodyOf(object, "Marker Object");
    r.ReadGuid();
    std::uint32_t count = r.U32();
    r.U16();
    h.markerName = ReadUtf16(r, r.U16());
    std::vector<Marker> out;
    for (std::uint32_t i = 0; i < count; ++i) {
        Marker m;
        m.offset = r.U64();
        m.presentationTime = r.U64();
        std::uint16_t entryLength = r.U16();
        ByteReader e = r.Sub(entryLength, "Marker entry");
        m.sendTime = e.U32();
        m.flags = e.U32();
        std::uint32_t chars = e.U32();
        if (chars > e.Remaining() / 2) e.Fail();
        m.description = ReadUtf16(e, std::size_t{chars} * 2);
        out.push_back(std::move(m));
    }
    h.markers = std::move(out);
}

void ParseScriptCommands(std::span<const std::uint8_t> object, Header& h)
{
    ByteReader r = BodyOf(object, "Script Command Object");
    r.ReadGuid();
    std::uint16_t commands = r.U16();
    std::uint16_t types = r.U16();
    std::vector<std::string> typeNames;
    for (std::uint16_t i = 0; i < types; ++i) typeNames.push_back(ReadUtf16(r, std::size_t{r.U16()} * 2));
    std::vector<ScriptCommand> out;
    for (std::uint16_t i = 0; i < commands; ++i) {
        ScriptCommand c;
        c.presentationTimeMs = r.U32();
        c.typeIndex = r.U16();
        c.name = ReadUtf16(r, std::size_t{r.U16()} * 2);
        out.push_back(std::move(c));
    }
    h.scriptCommandTypes = std::move(typeNames);
    h.scriptCommands = std::move(out);
}

std::vector<std::string> ParseLanguageList(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Language List Object");
    std::uint16_t count = r.U16();
    std::vector<std::string> out;
    for (std::uint16_t i = 0; i < count; ++i) out.push_back(ReadUtf16(r, r.U8()));
    return out;
}

void ParseHeaderExtension(const RawObject& object, Header& h, std::vector<std::string>& warnings)
{
    ByteReader r = BodyOf(object.bytes, "Header Extension Object");
    HeaderExtension& ext = h.extension;
    ext.reserved1 = r.ReadGuid();
    ext.reserved2 = r.U16();
    std::uint32_t dataSize = r.U32();
    if (dataSize > r.Remaining())
        throw FormatError("Header Extension Object claims " + std::to_string(dataSize) + " bytes of data, but holds " +
                          std::to_string(r.Remaining()));
    ext.objects = SplitObjects(r.Bytes(dataSize), object.fileOffset + 46, "Header Extension Object");

    for (const RawObject& child : ext.objects) {
        try {
            if (child.id == guids::kExtendedStreamProperties) {
                std::optional<StreamProperties> embedded;
                ext.extendedStreamProperties.push_back(ParseExtendedStreamProperties(child.bytes, &embedded));
                if (embedded && !h.FindStream(embedded->number)) h.streams.push_back(std::move(*embedded));
            } else if (child.id == guids::kLanguageList) {
                if (ext.languages.empty()) ext.languages = ParseLanguageList(child.bytes);
            } else if (child.id == guids::kMetadata || child.id == guids::kMetadataLibrary) {
                auto records = ParseMetadata(child.bytes, child.id == guids::kMetadataLibrary);
                h.metadata.insert(h.metadata.end(), records.begin(), records.end());
            } else if (child.id == guids::kIndexParameters) {
                if (!ext.indexParameters) ext.indexParameters = ParseIndexParameters(child.bytes);
            }
        } catch (const FormatError& e) {
            warnings.push_back(e.what());
        }
    }
}

}  // namespace

std::optional<AudioFormat> ParseAudioFormat(std::span<const std::uint8_t> block)
{
    try {
        ByteReader r(block, "WAVEFORMATEX");
        AudioFormat a;
        a.formatTag = r.U16();
        a.channels = r.U16();
        a.samplesPerSecond = r.U32();
        a.averageBytesPerSecond = r.U32();
        a.blockAlign = r.U16();
        a.bitsPerSample = r.U16();
        if (r.Remaining() >= 2) {
            std::uint16_t cb = r.U16();
            a.extra = ToVector(r.Bytes(std::min<std::size_t>(cb, r.Remaining())));
        }
        return a;
    } catch (const FormatError&) {
        return std::nullopt;
    }
}

FileProperties ParseFileProperties(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "File Properties Object");
    FileProperties p;
    p.fileId = r.ReadGuid();
    p.fileSize = r.U64();
    p.creationDate = r.U64();
    p.dataPacketsCount = r.U64();
    p.playDuration = r.U64();
    p.sendDuration = r.U64();
    p.prerollMs = r.U64();
    // Times are reckoned in signed milliseconds less the preroll; a preroll past 32 bits (49 days)
    // belongs to no real recording and would wrap that arithmetic.
    if (p.prerollMs > kMaxPrerollMs)
        throw FormatError("File Properties Object gives a preroll of " + std::to_string(p.prerollMs) +
                          " ms, longer than any recording can have");
    p.flags = r.U32();
    p.minDataPacketSize = r.U32();
    p.maxDataPacketSize = r.U32();
    p.maxBitrate = r.U32();
    return p;
}

StreamProperties ParseStreamProperties(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Stream Properties Object");
    StreamProperties s;
    s.streamType = r.ReadGuid();
    s.kind = KindOf(s.streamType);
    s.errorCorrectionType = r.ReadGuid();
    s.timeOffset = r.U64();
    std::uint32_t typeLength = r.U32();
    std::uint32_t ecLength = r.U32();
    s.flags = r.U16();
    s.number = s.flags & 0x7F;
    s.reserved = r.U32();
    s.typeSpecificData = ToVector(r.Bytes(typeLength));
    s.errorCorrectionData = ToVector(r.Bytes(ecLength));
    if (s.number == 0) throw FormatError("Stream Properties Object gives stream number 0");
    if (s.kind == StreamKind::Video) s.video = ParseVideoFormat(s.typeSpecificData);
    if (s.kind == StreamKind::Audio) s.audio = ParseAudioFormat(s.typeSpecificData);
    if (s.errorCorrectionType == guids::kAudioSpread) s.audioSpread = ParseAudioSpread(s.errorCorrectionData);
    return s;
}

ExtendedStreamProperties ParseExtendedStreamProperties(std::span<const std::uint8_t> object,
                                                       std::optional<StreamProperties>* embedded)
{
    ByteReader r = BodyOf(object, "Extended Stream Properties Object");
    ExtendedStreamProperties e;
    e.startTime = r.U64();
    e.endTime = r.U64();
    e.dataBitrate = r.U32();
    e.bufferSize = r.U32();
    e.initialBufferFullness = r.U32();
    e.alternateDataBitrate = r.U32();
    e.alternateBufferSize = r.U32();
    e.alternateInitialBufferFullness = r.U32();
    e.maximumObjectSize = r.U32();
    e.flags = r.U32();
    e.streamNumber = r.U16();
    e.languageIndex = r.U16();
    e.averageTimePerFrame = r.U64();
    std::uint16_t nameCount = r.U16();
    std::uint16_t systemCount = r.U16();
    for (std::uint16_t i = 0; i < nameCount; ++i) {
        StreamName n;
        n.languageIndex = r.U16();
        n.name = ReadUtf16(r, r.U16());
        e.names.push_back(std::move(n));
    }
    for (std::uint16_t i = 0; i < systemCount; ++i) {
        PayloadExtensionSystem p;
        p.id = r.ReadGuid();
        p.dataSize = r.U16();
        p.info = ToVector(r.Bytes(r.U32()));
        e.payloadExtensionSystems.push_back(std::move(p));
    }
    if (r.Remaining() >= kObjectHeaderSize) {
        auto rest = r.Bytes(r.Remaining());
        ByteReader peek(rest, "embedded Stream Properties Object");
        if (peek.ReadGuid() == guids::kStreamProperties) {
            std::uint64_t size = peek.U64();
            if (size < kObjectHeaderSize || size > rest.size())
                throw FormatError("the Stream Properties Object embedded in Extended Stream Properties is truncated");
            e.hasEmbeddedStreamProperties = true;
            if (embedded) {
                StreamProperties s = ParseStreamProperties(rest.first(static_cast<std::size_t>(size)));
                s.embeddedInExtendedStreamProperties = true;
                *embedded = std::move(s);
            }
        }
    }
    return e;
}

IndexParameters ParseIndexParameters(std::span<const std::uint8_t> object)
{
    ByteReader r = BodyOf(object, "Index Parameters Object");
    IndexParameters p;
    p.entryTimeInterval = r.U32();
    std::uint16_t count = r.U16();
    for (std::uint16_t i = 0; i < count; ++i) {
        IndexSpecifier s;
        s.streamNumber = r.U16();
        s.indexType = r.U16();
        p.specifiers.push_back(s);
    }
    return p;
}

ParsedHeader ParseHeaderObject(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset)
{
    ParsedHeader out;
    Header& h = out.header;
    ByteReader r(bytes, "Header Object");
    if (r.ReadGuid() != guids::kHeader) throw FormatError("not an ASF file (no Header Object at the start)");
    std::uint64_t size = r.U64();
    if (size != bytes.size()) throw FormatError("Header Object size does not match its bytes");
    std::uint32_t count = r.U32();
    h.reserved1 = r.U8();
    h.reserved2 = r.U8();
    h.objects = SplitObjects(bytes.subspan(30), fileOffset + 30, "Header Object");
    if (count != h.objects.size())
        out.warnings.push_back("Header Object announces " + std::to_string(count) + " objects but holds " +
                               std::to_string(h.objects.size()));

    bool haveFileProperties = false;
    for (const RawObject& obj : h.objects) {
        const Guid& id = obj.id;
        // The objects the packets cannot be read without: their faults are fatal.
        if (id == guids::kFileProperties) {
            if (!haveFileProperties) h.fileProperties = ParseFileProperties(obj.bytes);
            haveFileProperties = true;
            continue;
        }
        if (id == guids::kStreamProperties) {
            StreamProperties s = ParseStreamProperties(obj.bytes);
            if (h.FindStream(s.number))
                out.warnings.push_back("stream " + std::to_string(s.number) + " is described twice");
            else
                h.streams.push_back(std::move(s));
            continue;
        }
        try {
            if (id == guids::kHeaderExtension) {
                ParseHeaderExtension(obj, h, out.warnings);
            } else if (id == guids::kCodecList) {
                h.codecs = ParseCodecList(obj.bytes);
            } else if (id == guids::kContentDescription) {
                h.contentDescription = ParseContentDescription(obj.bytes);
            } else if (id == guids::kExtendedContentDescription) {
                h.extendedContent = ParseExtendedContent(obj.bytes);
            } else if (id == guids::kStreamBitrateProperties) {
                h.streamBitrates = ParseStreamBitrates(obj.bytes);
            } else if (id == guids::kMarker) {
                ParseMarkers(obj.bytes, h);
            } else if (id == guids::kScriptCommand) {
                ParseScriptCommands(obj.bytes, h);
            }
        } catch (const FormatError& e) {
            out.warnings.push_back(e.what());
        }
    }
    if (!haveFileProperties) throw FormatError("the header has no File Properties Object");
    if (h.streams.empty()) throw FormatError("the header describes no streams");
    std::stable_sort(h.streams.begin(), h.streams.end(),
                     [](const StreamProperties& a, const StreamProperties& b) { return a.number < b.number; });
    return out;
}

// ---- Header helpers declared in HeaderObjects.h ----

const StreamProperties* Header::FindStream(std::uint16_t number) const
{
    for (const auto& s : streams)
        if (s.number == number) return &s;
    return nullptr;
}

const ExtendedStreamProperties* Header::FindExtendedStreamProperties(std::uint16_t number) const
{
    for (const auto& e : extension.extendedStreamProperties)
        if (e.streamNumber == number) return &e;
    return nullptr;
}

const StreamProperties* Header::LowestStream(StreamKind kind) const
{
    const StreamProperties* best = nullptr;
    for (const auto& s : streams)
        if (s.kind == kind && (!best || s.number < best->number)) best = &s;
    return best;
}

std::string Header::StreamLanguage(std::uint16_t number) const
{
    const auto* e = FindExtendedStreamProperties(number);
    if (!e || e->languageIndex >= extension.languages.size()) return {};
    return extension.languages[e->languageIndex];
}

std::string VideoFormat::CompressionText() const
{
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((compression >> (8 * i)) & 0xFF);
        s.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return s;
}

std::string Descriptor::ValueText() const
{
    ByteReader r(value, "descriptor value");
    try {
        switch (dataType) {
            case 0: return Utf16LeToUtf8(value);
            case 2: return value.size() >= 4 ? (r.U32() ? "true" : "false") : (r.U16() ? "true" : "false");
            case 3: return std::to_string(r.U32());
            case 4: return std::to_string(r.U64());
            case 5: return std::to_string(r.U16());
            case 6: return r.ReadGuid().ToString();
            default: return "(" + std::to_string(value.size()) + " bytes)";
        }
    } catch (const FormatError&) {
        return "(malformed)";
    }
}

}  // namespace kestrine::asf
