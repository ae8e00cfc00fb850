#pragma once
// The parsed ASF Header Object as plain values.
//
// Every child object is kept byte for byte, in file order (`Header::objects`, and the Header
// Extension's own children in `HeaderExtension::objects`), whether or not it is understood, so a
// writer can carry the header over and replace only what it must. The typed fields beside them are
// read from those bytes; an object that occurs more than once keeps the first for the typed view.
//
// Times: ASF header times are in 100-nanosecond units unless a field says milliseconds (preroll).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "asf/Guid.h"

namespace kestrine::asf {

// One object exactly as stored, its 24-byte object header included.
struct RawObject {
    Guid id;
    std::vector<std::uint8_t> bytes;
    std::uint64_t fileOffset = 0;  // where it starts in the file (0 for objects not read from a file)
};

// The longest preroll a file may declare, in milliseconds (about 49 days).
inline constexpr std::uint64_t kMaxPrerollMs = 0xFFFFFFFFu;

struct FileProperties {
    Guid fileId;
    std::uint64_t fileSize = 0;
    std::uint64_t creationDate = 0;      // 100 ns since 1601-01-01
    std::uint64_t dataPacketsCount = 0;  // meaningless when broadcast
    std::uint64_t playDuration = 0;      // 100 ns, includes the preroll
    std::uint64_t sendDuration = 0;      // 100 ns
    std::uint64_t prerollMs = 0;
    std::uint32_t flags = 0;
    std::uint32_t minDataPacketSize = 0;
    std::uint32_t maxDataPacketSize = 0;
    std::uint32_t maxBitrate = 0;

    static constexpr std::uint32_t kBroadcastFlag = 0x1;
    static constexpr std::uint32_t kSeekableFlag = 0x2;
    bool Broadcast() const { return (flags & kBroadcastFlag) != 0; }
    bool Seekable() const { return (flags & kSeekableFlag) != 0; }
};

enum class StreamKind { Audio, Video, Command, Other };

// BITMAPINFOHEADER fields of a video stream; `formatData` keeps the whole block with codec extra bytes.
struct VideoFormat {
    std::uint32_t encodedWidth = 0;
    std::uint32_t encodedHeight = 0;
    std::uint8_t reservedFlags = 0;
    std::vector<std::uint8_t> formatData;  // BITMAPINFOHEADER and what follows it
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;  // FourCC, first character in the low byte
    std::string CompressionText() const;  // "WMV2"; non-printable bytes shown as '?'
};

// WAVEFORMATEX of an audio stream; `extra` holds the codec's own bytes after cbSize.
struct AudioFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::vector<std::uint8_t> extra;
};

// Error correction data of the audio spread type.
struct AudioSpread {
    std::uint8_t span = 0;
    std::uint16_t virtualPacketLength = 0;
    std::uint16_t virtualChunkLength = 0;
    std::uint16_t silenceDataLength = 0;
    std::vector<std::uint8_t> silenceData;
};

struct StreamProperties {
    std::uint16_t number = 0;  // 1..127
    Guid streamType;
    StreamKind kind = StreamKind::Other;
    Guid errorCorrectionType;
    std::uint64_t timeOffset = 0;  // 100 ns
    std::uint16_t flags = 0;       // the raw field: stream number in bits 0-6, encrypted in bit 15
    std::uint32_t reserved = 0;
    std::vector<std::uint8_t> typeSpecificData;     // the codec format block
    std::vector<std::uint8_t> errorCorrectionData;
    std::optional<VideoFormat> video;   // set when kind is Video and the block parses
    std::optional<AudioFormat> audio;   // set when kind is Audio and the block parses
    std::optional<AudioSpread> audioSpread;
    bool embeddedInExtendedStreamProperties = false;

    bool Encrypted() const { return (flags & 0x8000) != 0; }
};

struct PayloadExtensionSystem {
    Guid id;
    std::uint16_t dataSize = 0;  // 0xFFFF: variable, each payload gives its own length
    std::vector<std::uint8_t> info;
};

struct StreamName {
    std::uint16_t languageIndex = 0;
    std::string name;  // UTF-8
};

struct ExtendedStreamProperties {
    std::uint64_t startTime = 0;  // ms
    std::uint64_t endTime = 0;    // ms
    std::uint32_t dataBitrate = 0;
    std::uint32_t bufferSize = 0;
    std::uint32_t initialBufferFullness = 0;
    std::uint32_t alternateDataBitrate = 0;
    std::uint32_t alternateBufferSize = 0;
    std::uint32_t alternateInitialBufferFullness = 0;
    std::uint32_t maximumObjectSize = 0;
    std::uint32_t flags = 0;
    std::uint16_t streamNumber = 0;
    std::uint16_t languageIndex = 0;
    std::uint64_t averageTimePerFrame = 0;  // 100 ns
    std::vector<StreamName> names;
    std::vector<PayloadExtensionSystem> payloadExtensionSystems;
    bool hasEmbeddedStreamProperties = false;
};

struct IndexSpecifier {
    std::uint16_t streamNumber = 0;
    std::uint16_t indexType = 0;  // 1 nearest past data packet, 2 nearest past media object, 3 cleanpoint
};

struct IndexParameters {
    std::uint32_t entryTimeInterval = 0;  // ms
    std::vector<IndexSpecifier> specifiers;
};

struct HeaderExtension {
    Guid reserved1;
    std::uint16_t reserved2 = 0;
    std::vector<RawObject> objects;  // every child, in order
    std::vector<ExtendedStreamProperties> extendedStreamProperties;
    std::vector<std::string> languages;  // Language List, UTF-8, by index
    std::optional<IndexParameters> indexParameters;
};

struct CodecEntry {
    std::uint16_t type = 0;  // 1 video, 2 audio, 0xFFFF unknown
    std::string name;
    std::string description;
    std::vector<std::uint8_t> information;
};

struct ContentDescription {
    std::string title, author, copyright, description, rating;
};

// A name/value pair from Extended Content Description, Metadata or Metadata Library.
struct Descriptor {
    std::string name;
    std::uint16_t dataType = 0;  // 0 string, 1 bytes, 2 bool, 3 dword, 4 qword, 5 word, 6 GUID
    std::vector<std::uint8_t> value;
    std::uint16_t streamNumber = 0;   // 0 = whole file
    std::uint16_t languageIndex = 0;
    std::string ValueText() const;    // the value as readable text (strings decoded, numbers in decimal)
};

struct StreamBitrate {
    std::uint16_t streamNumber = 0;
    std::uint32_t averageBitrate = 0;
};

struct Marker {
    std::uint64_t offset = 0;            // byte offset into the Data Object's packets
    std::uint64_t presentationTime = 0;  // 100 ns
    std::uint32_t sendTime = 0;          // ms
    std::uint32_t flags = 0;
    std::string description;
};

struct ScriptCommand {
    std::uint32_t presentationTimeMs = 0;
    std::uint16_t typeIndex = 0;
    std::string name;
};

struct Header {
    std::uint8_t reserved1 = 0x01;
    std::uint8_t reserved2 = 0x02;
    std::vector<RawObject> objects;  // every child of the Header Object, in order

    FileProperties fileProperties;
    std::vector<StreamProperties> streams;  // by stream number, embedded ones included
    HeaderExtension extension;
    std::vector<CodecEntry> codecs;
    std::optional<ContentDescription> contentDescription;
    std::vector<Descriptor> extendedContent;
    std::vector<Descriptor> metadata;         // Metadata and Metadata Library records
    std::vector<StreamBitrate> streamBitrates;
    std::vector<Marker> markers;
    std::string markerName;
    std::vector<std::string> scriptCommandTypes;
    std::vector<ScriptCommand> scriptCommands;

    const StreamProperties* FindStream(std::uint16_t number) const;
    const ExtendedStreamProperties* FindExtendedStreamProperties(std::uint16_t number) const;
    // The lowest-numbered stream of that kind, or null.
    const StreamProperties* LowestStream(StreamKind kind) const;
    // The stream's language from the Language List, "" when none is given.
    std::string StreamLanguage(std::uint16_t number) const;
};

}  // namespace kestrine::asf
