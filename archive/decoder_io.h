// The two ends every decoder works between: the input refill (compressed
// bytes, already decrypted, across volume boundaries) and the output flush
// (size guard, CRC-32, progress events). The member extraction routine owns
// both and implements the slow paths; the decoders (Deflate, Implode, Shrink,
// Reduce) read only through ReadByte and write only through the output buffer
// and FlushOutput.
//
// Invariants while a decoder runs:
//   0 <= inCount <= kInputChunk; inPos points at the next unread byte of the
//   input buffer and inPos + inCount stays inside it.
//   0 <= outCount <= kOutputChunk; the decoder calls FlushOutput whenever
//   outCount reaches kOutputChunk and once at its end.
//   compressedLeft counts the compressed bytes the decoder may still consume;
//   it keeps falling below 0 once the data is used up (each failed read
//   decrements it once more, down to INT32_MIN), exactly as the slow path
//   does.
//
// Limits. Besides the end of its data, decoding stops at one of these three,
// defined here and nowhere else:
//   input exhausted  ReadByte returns 0 past the member's data and counts
//                    compressedLeft below 0 (InputExhausted). Shrink ends
//                    there; the others read on (bit reader A repeats the last
//                    byte, bit reader B yields zero bits) until the stream
//                    itself or another limit ends them.
//   output cap       the declared uncompressed size (OutputCap): Implode and
//                    Reduce decode until they have made it; FlushOutput
//                    refuses output past it, for every method.
//   output after end the output flush refuses more than
//                    kMaxOutputAfterInputEnd bytes once the decoder has
//                    asked for a byte past the data (Implode and Reduce
//                    would otherwise make up to the declared size from
//                    nothing).
//   step limit       work without input is bounded: Deflate ends after
//                    kMaxIdleBlocksAfterEnd blocks in a row that make nothing
//                    once the input is exhausted; bit reader B holds its bit
//                    count at kBitCountFloor; Shrink ends a string longer
//                    than its stack (a cycle of undefined codes).
// Each decoder returns why it stopped (TDecodeStatus, decoders.h).
#pragma once

#include <cstdint>

namespace archive {

// Farthest back-reference of Deflate, and the circular dictionary of Implode.
constexpr uint32_t kDictSize = 32768;
// The shared work area: Deflate keeps kDictSize bytes of history, three
// cycles of kDictSize bytes that it writes one after another, and room for its
// last match to run past the end (see inflate.cpp); the other decoders use a
// part of it for their dictionary or tables.
constexpr uint32_t kWindowSize = 4 * kDictSize + 512;
constexpr uint32_t kInputChunk = 16000;   // compressed bytes per refill
constexpr uint32_t kOutputChunk = 16000;  // output bytes per flush
constexpr uint32_t kBufferAlloc = 16001;  // allocated size of input and output buffers

// Output a valid stream may still write after the decoder first asked for a
// byte past its data: what its window holds unflushed (at most 32 KB), the
// output buffer (kOutputChunk) and the symbols of the bits already read.
// That is about 52 KB at most; the bound leaves more than twice that.
constexpr int64_t kMaxOutputAfterInputEnd = 128 * 1024;

// Step limits (see Limits above).
constexpr int kMaxIdleBlocksAfterEnd = 16;
constexpr int kBitCountFloor = -(1 << 20);

class TDecoderIO {
 public:
  virtual ~TDecoderIO() = default;

  // ---- input side
  const uint8_t* inPos = nullptr;  // next byte in the input buffer
  uint32_t inCount = 0;            // bytes not yet consumed in the input buffer
  int32_t compressedLeft = 0;      // compressed bytes the decoder may still consume

  // ---- output side
  uint8_t* outBuf = nullptr;  // kBufferAlloc bytes, kOutputChunk used
  uint32_t outCount = 0;      // bytes waiting in outBuf

  // ---- shared work area and member facts
  uint8_t* window = nullptr;     // kWindowSize bytes
  int32_t uncompressedSize = 0;  // the member's declared uncompressed size
  int32_t compressedSize = 0;    // the member's compressed size without the encryption header
  uint16_t flags = 0;            // general-purpose bit flags of the member

  // ---- limits (see Limits above)
  bool InputExhausted() const { return compressedLeft < 0; }
  int64_t OutputCap() const { return uncompressedSize; }

  // The input refill: stores the next compressed byte in b and returns 8, or
  // returns 0 (b unchanged) when the member's compressed data is used up.
  inline int ReadByte(uint8_t& b) {
    if (compressedLeft > 0 && inCount > 0) {
      --compressedLeft;
      --inCount;
      b = *inPos++;
      return 8;
    }
    return RefillSlow(b);
  }

  // Slow path of ReadByte: counts the byte against the member's data and
  // takes the next chunk when the input buffer is empty. Returns 0 (b
  // unchanged) past the member's data or when no chunk comes.
  int RefillSlow(uint8_t& b) {
    if (compressedLeft <= 0) {
      // A declared size past 2 GB starts below 0 already: the count stops
      // at its floor rather than wrapping round to "bytes left".
      if (compressedLeft > INT32_MIN) --compressedLeft;
      return 0;
    }
    --compressedLeft;
    if (inCount == 0) {
      const uint8_t* chunk = inPos;
      inCount = NextChunk(chunk);
      if (inCount == 0) return 0;
      inPos = chunk;
    }
    b = *inPos++;
    --inCount;
    return 8;
  }

  // The input refill proper: the next chunk of the member's compressed
  // data (at most kInputChunk bytes; reads, switches volumes, decrypts,
  // processes messages, honours the cancel request). Points data at it and
  // returns its size; 0 when nothing comes.
  virtual uint32_t NextChunk(const uint8_t*& data) = 0;

  // The output flush: writes outCount bytes from outBuf, then outCount = 0.
  // Raises EBiggerThanUncompressed when the member would grow past its size.
  virtual void FlushOutput() = 0;
};

}  // namespace archive
