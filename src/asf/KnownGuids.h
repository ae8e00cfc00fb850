#pragma once
// The GUIDs that name ASF objects, stream types and the fixed values written into some fields.
// Values as published for the format; names follow the object they identify.
#include "asf/Guid.h"

namespace kestrine::asf::guids {

// Top-level objects.
inline constexpr Guid kHeader = Guid::FromText("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kData = Guid::FromText("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kSimpleIndex = Guid::FromText("33000890-E5B1-11CF-89F4-00A0C90349CB");
inline constexpr Guid kIndex = Guid::FromText("D6E229D3-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMediaObjectIndex = Guid::FromText("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C");
inline constexpr Guid kTimecodeIndex = Guid::FromText("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C");

// Objects inside the Header Object.
inline constexpr Guid kFileProperties = Guid::FromText("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr Guid kStreamProperties = Guid::FromText("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr Guid kHeaderExtension = Guid::FromText("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr Guid kCodecList = Guid::FromText("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr Guid kScriptCommand = Guid::FromText("1EFB1A30-0B62-11D0-A39B-00A0C90348F6");
inline constexpr Guid kMarker = Guid::FromText("F487CD01-A951-11CF-8EE6-00C00C205365");
inline constexpr Guid kBitrateMutualExclusion = Guid::FromText("D6E229DC-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kErrorCorrection = Guid::FromText("75B22635-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kContentDescription = Guid::FromText("75B22633-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kExtendedContentDescription = Guid::FromText("D2D0A440-E307-11D2-97F0-00A0C95EA850");
inline constexpr Guid kContentBranding = Guid::FromText("2211B3FA-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr Guid kStreamBitrateProperties = Guid::FromText("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr Guid kContentEncryption = Guid::FromText("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr Guid kExtendedContentEncryption = Guid::FromText("298AE614-2622-4C17-B935-DAE07EE9289C");
inline constexpr Guid kDigitalSignature = Guid::FromText("2211B3FC-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr Guid kPadding = Guid::FromText("1806D474-CADF-4509-A4BA-9AABCB96AAE8");

// Objects inside the Header Extension Object.
inline constexpr Guid kExtendedStreamProperties = Guid::FromText("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr Guid kAdvancedMutualExclusion = Guid::FromText("A08649CF-4775-4670-8A16-6E35357566CD");
inline constexpr Guid kGroupMutualExclusion = Guid::FromText("D1465A40-5A79-4338-B71B-E36B8FD6C249");
inline constexpr Guid kStreamPrioritization = Guid::FromText("D4FED15B-88D3-454F-81F0-ED5C45999E24");
inline constexpr Guid kBandwidthSharing = Guid::FromText("A69609E6-517B-11D2-B6AF-00C04FD908E9");
inline constexpr Guid kLanguageList = Guid::FromText("7C4346A9-EFE0-4BFC-B229-393EDE415C85");
inline constexpr Guid kMetadata = Guid::FromText("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA");
inline constexpr Guid kMetadataLibrary = Guid::FromText("44231C94-9498-49D1-A141-1D134E457054");
inline constexpr Guid kIndexParameters = Guid::FromText("D6E229DF-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMediaObjectIndexParameters = Guid::FromText("6B203BAD-3F11-48E4-ACA8-D7613DE2CFA7");
inline constexpr Guid kTimecodeIndexParameters = Guid::FromText("F55E496D-9797-4B5D-8C8B-604DFE9BFB24");
inline constexpr Guid kCompatibility = Guid::FromText("26F18B5D-4584-47EC-9F5F-0E651F0452C9");
inline constexpr Guid kAdvancedContentEncryption = Guid::FromText("43058533-6981-49E6-9B74-AD12CB86D58C");
// Written by some encoders where an index will be placed later.
inline constexpr Guid kIndexPlaceholder = Guid::FromText("D9AADE20-7C17-4F9C-BC28-8555DD98E2A2");

// Stream types (Stream Properties Object).
inline constexpr Guid kAudioMedia = Guid::FromText("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr Guid kVideoMedia = Guid::FromText("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr Guid kCommandMedia = Guid::FromText("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr Guid kJfifMedia = Guid::FromText("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr Guid kDegradableJpegMedia = Guid::FromText("35907DE0-E415-11CF-A917-00805F5C442B");
inline constexpr Guid kFileTransferMedia = Guid::FromText("91BD222C-F21C-497A-8B6D-5AA86BFC0185");
inline constexpr Guid kBinaryMedia = Guid::FromText("3AFB65E2-47EF-40F2-AC2C-70A90D71D343");

// Media subtypes and formats used with binary streams.
inline constexpr Guid kWebStreamMediaSubtype = Guid::FromText("776257D4-C627-41CB-8F81-7AC7FF1C40CC");
inline constexpr Guid kWebStreamFormat = Guid::FromText("DA1E6B13-8359-4050-B398-388E965BF00C");

// Error correction types (Stream Properties Object).
inline constexpr Guid kNoErrorCorrection = Guid::FromText("20FB5700-5B55-11CF-A8FD-00805F5C442B");
inline constexpr Guid kAudioSpread = Guid::FromText("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");

// Fixed "reserved" GUID fields.
inline constexpr Guid kReserved1 = Guid::FromText("ABD3D211-A9BA-11CF-8EE6-00C00C205365");  // Header Extension
inline constexpr Guid kReserved2 = Guid::FromText("86D15241-311D-11D0-A3A4-00A0C90348F6");  // Codec List
inline constexpr Guid kReserved3 = Guid::FromText("4B1ACBE3-100B-11D0-A39B-00A0C90348F6");  // Script Command
inline constexpr Guid kReserved4 = Guid::FromText("4CFEDB20-75F6-11CF-9C0F-00A0C90349CB");  // Marker
inline constexpr Guid kCodecListReserved = kReserved2;

// Mutual exclusion types.
inline constexpr Guid kMutexLanguage = Guid::FromText("D6E22A00-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMutexBitrate = Guid::FromText("D6E22A01-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMutexUnknown = Guid::FromText("D6E22A02-35DA-11D1-9034-00A0C90349BE");

// Bandwidth sharing types.
inline constexpr Guid kBandwidthSharingExclusive = Guid::FromText("AF6060AA-5197-11D2-B6AF-00C04FD908E9");
inline constexpr Guid kBandwidthSharingPartial = Guid::FromText("AF6060AB-5197-11D2-B6AF-00C04FD908E9");

// Payload extension systems (Extended Stream Properties Object).
inline constexpr Guid kPayloadExtensionTimecode = Guid::FromText("399595EC-8667-4E2D-8FDB-98814CE76C1E");
inline constexpr Guid kPayloadExtensionFileName = Guid::FromText("E165EC0E-19ED-45D7-B4A7-25CBD1E28E9B");
inline constexpr Guid kPayloadExtensionContentId = Guid::FromText("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC");
inline constexpr Guid kPayloadExtensionPixelAspectRatio = Guid::FromText("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8");
inline constexpr Guid kPayloadExtensionSampleDuration = Guid::FromText("C6BD9450-867F-4907-83A3-C77921B733AD");
inline constexpr Guid kPayloadExtensionEncryptionSampleId = Guid::FromText("6698B84E-0AFA-4330-AEB2-1C0A98D7A44D");

// Content encryption system (Advanced Content Encryption Object).
inline constexpr Guid kContentEncryptionWmdrmNd = Guid::FromText("7A079BB6-DAA4-4E12-A5CA-91D38DC11A8D");

}  // namespace kestrine::asf::guids
