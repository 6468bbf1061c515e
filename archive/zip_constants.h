// Numbers of the ZIP format as this engine reads it (PKWARE APPNOTE): record
// signatures, record sizes, field offsets, method numbers and flag bits, plus
// the engine's own limits. All multi-byte fields are little-endian.
#pragma once

#include <cstdint>

namespace archive::zip {

// ---- signatures, compared as 32-bit little-endian values
constexpr uint32_t kLocalHeaderSig = 0x04034B50;    // "PK\3\4"
constexpr uint32_t kCentralHeaderSig = 0x02014B50;  // "PK\1\2"
constexpr uint32_t kEndRecordSig = 0x06054B50;      // "PK\5\6"

// ---- fixed record sizes (without the variable parts)
constexpr int kEndRecordSize = 22;
constexpr int kCentralHeaderSize = 46;
constexpr int kLocalHeaderSize = 30;
constexpr int kDataDescriptorSize = 16;  // signature, CRC-32, both sizes
constexpr int kEncryptionHeaderSize = 12;

// ---- end record search: bytes read from the end of the archive (FFF8 hex)
constexpr int kEndSearchSpan = 65528;

// ---- end of central directory record offsets
constexpr int kEndThisDisk = 4;
constexpr int kEndCentralStartDisk = 6;
constexpr int kEndEntriesThisDisk = 8;
constexpr int kEndTotalEntries = 10;
constexpr int kEndCentralSize = 12;
constexpr int kEndCentralOffset = 16;
constexpr int kEndCommentLength = 20;

// ---- central directory header offsets
constexpr int kCenVersionMadeBy = 4;
constexpr int kCenVersionNeeded = 6;
constexpr int kCenFlags = 8;
constexpr int kCenMethod = 10;
constexpr int kCenTime = 12;  // the date follows at 14; read together as DateTime
constexpr int kCenCrc = 16;
constexpr int kCenCompressedSize = 20;
constexpr int kCenUncompressedSize = 24;
constexpr int kCenNameLength = 28;
constexpr int kCenExtraLength = 30;
constexpr int kCenCommentLength = 32;
constexpr int kCenDiskStart = 34;
constexpr int kCenInternalAttributes = 36;
constexpr int kCenExternalAttributes = 38;
constexpr int kCenLocalHeaderOffset = 42;

// ---- local file header offsets
constexpr int kLocVersionNeeded = 4;
constexpr int kLocFlags = 6;
constexpr int kLocMethod = 8;
constexpr int kLocTime = 10;  // the date follows at 12
constexpr int kLocCrc = 14;
constexpr int kLocCompressedSize = 18;
constexpr int kLocUncompressedSize = 22;
constexpr int kLocNameLength = 26;
constexpr int kLocExtraLength = 28;

// ---- general-purpose flag bits that the engine interprets
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;  // name (and comment) stored as UTF-8

// ---- compression methods
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodShrunk = 1;
constexpr uint16_t kMethodReduced1 = 2;
constexpr uint16_t kMethodReduced4 = 5;
constexpr uint16_t kMethodImploded = 6;
constexpr uint16_t kMethodDeflated = 8;

// ---- local header scan
constexpr int64_t kSfxScanStart = 14000;     // self-extracting archives (".EXE")
constexpr int kScanMessageInterval = 10240;  // non-"P" bytes between message pumps

// ---- component
constexpr int kComponentVersion = 217;

// Little-endian field readers over a byte buffer.
inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace archive::zip
