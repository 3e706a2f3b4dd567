#pragma once

#include <cstdint>
#include <string>

#include "shared/data.hpp"

namespace twinlens::sample {

// Builds JPEG-shaped byte sequences segment by segment: the structure a camera writes (markers,
// length fields, tables, scans), with made-up entropy-coded data. For tests, fuzz seeds, the
// benchmark and the demo library.
class JpegBuilder {
 public:
  JpegBuilder& startOfImage();
  // A segment: marker FF <code>, a length field of payload + 2, the payload.
  JpegBuilder& segment(std::uint8_t code, const Data& payload);
  // A segment whose length field says `length` whatever the payload is.
  JpegBuilder& segmentWithLength(std::uint8_t code, std::uint16_t length, const Data& payload);
  JpegBuilder& jfif();
  JpegBuilder& exif(const std::string& cameraText);
  JpegBuilder& comment(const std::string& text);
  // Quantisation and Huffman tables and a baseline (or progressive) frame header.
  JpegBuilder& tables(std::uint16_t width, std::uint16_t height, bool progressive = false);
  // A start-of-scan header followed by `entropyBytes` of made-up coded data (FF bytes stuffed).
  JpegBuilder& scan(std::size_t entropyBytes, std::uint32_t seed);
  JpegBuilder& raw(const Data& bytes);
  JpegBuilder& endOfImage();

  const Data& bytes() const { return bytes_; }

 private:
  Data bytes_;
};

// Made-up entropy-coded data: pseudo-random bytes from `seed`, each FF followed by 00.
Data entropyData(std::size_t length, std::uint32_t seed);

// A complete photo: JFIF, EXIF naming `cameraText`, tables, one scan (or, progressive, three)
// of about `imageBytes` from `seed`, and the end-of-image marker. Photos built with the same
// seed and size differ only in their metadata.
Data samplePhoto(std::uint32_t seed, std::size_t imageBytes, const std::string& cameraText,
                 bool progressive = false);

}  // namespace twinlens::sample
