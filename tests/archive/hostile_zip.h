// Builders of hostile archives for the bad-archive tests: byte patches of
// well-formed archives and a hand-made Deflate stream that expands far past
// what its member declares.
#pragma once

#include <cstdint>
#include <string>

namespace archive_test {

void Patch16(std::string& bytes, size_t at, uint16_t value);
void Patch32(std::string& bytes, size_t at, uint32_t value);

// Where the records of an archive made by BuildZip start.
struct ZipLayout {
  size_t centralOffset = 0;  // first central header
  size_t endRecord = 0;      // end record
  size_t centralHeader(const std::string& bytes, int index) const;
};
ZipLayout Layout(const std::string& bytes);

// A raw Deflate stream of one fixed-Huffman block: the literal "A", then
// matches of 258 bytes at distance 1; matches * 258 + 1 output bytes from
// about 13 bits per match.
std::string DeflateRunOfA(int matches);

}  // namespace archive_test
