#pragma once
// The ASF reader in one include. Standard library only; every read is bounds-checked and bad
// input throws FormatError, whose what() completes "Error: <file>: ...".
//
// Opening (AsfFile.h) reads the Header Object and locates everything else:
//   AsfFile file = AsfFile::Open(path);
//   const Header& h = file.Header();                 // HeaderObjects.h: value types, raw objects kept in order
//   h.fileProperties.prerollMs, h.streams, h.extension.extendedStreamProperties, h.LowestStream(StreamKind::Video)
//   file.Data(): packetSize, packetCount, PacketOffset(i), truncated, sizeKnown
//   file.SimpleIndexes(), file.Objects() (every top-level object with offset and size), file.ReadObject(obj)
//   file.TimelineMs(presentationTimeMs)               // the editor's timeline: minus preroll
//
// Packets, sequentially with constant memory (PacketReader.h, DataPacket.h):
//   PacketReader reader(file);  PacketView pv;  ParsedPacket pp;
//   while (reader.Next(pv)) { ParseDataPacket(pv.bytes, pp); for (const Payload& p : pp.payloads) ... }
//
// Whole media objects per stream (MediaObjects.h):
//   MediaObjectReader objects(file);  MediaObject o;  while (objects.Next(o)) ...
//   or MediaObjectAssembler::Add(packetView, parsedPacket, out) inside one's own packet loop.
//
// Cut points (KeyFrameScan.h): ScanKeyFrames(file) gives the keyframes of the lowest-numbered video
// stream (or thinned audio object starts) with the packet each one begins in.
//
// Lower level: ParseHeaderObject and the single-object parsers (HeaderParser.h), ByteReader.h,
// Guid.h, KnownGuids.h, Text.h (UTF-16LE), InputFile.h.
#include "asf/AsfFile.h"
#include "asf/ByteReader.h"
#include "asf/DataPacket.h"
#include "asf/FormatError.h"
#include "asf/Guid.h"
#include "asf/HeaderObjects.h"
#include "asf/HeaderParser.h"
#include "asf/KeyFrameScan.h"
#include "asf/KnownGuids.h"
#include "asf/MediaObjects.h"
#include "asf/PacketReader.h"
