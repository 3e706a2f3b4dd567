#include "sample/jpeg_builder.hpp"

namespace twinlens::sample {

namespace {

void put16(Data& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

Data textBytes(const std::string& text) {
  return Data(text.begin(), text.end());
}

}  // namespace

JpegBuilder& JpegBuilder::startOfImage() {
  return raw({0xFF, 0xD8});
}

JpegBuilder& JpegBuilder::segment(std::uint8_t code, const Data& payload) {
  return segmentWithLength(code, static_cast<std::uint16_t>(payload.size() + 2), payload);
}

JpegBuilder& JpegBuilder::segmentWithLength(std::uint8_t code, std::uint16_t length,
                                            const Data& payload) {
  bytes_.push_back(0xFF);
  bytes_.push_back(code);
  put16(bytes_, length);
  return raw(payload);
}

JpegBuilder& JpegBuilder::jfif() {
  return segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 2, 1, 0, 72, 0, 72, 0, 0});
}

JpegBuilder& JpegBuilder::exif(const std::string& cameraText) {
  Data payload = textBytes(std::string("Exif\0\0MM\0*", 10));
  Data text = textBytes(cameraText);
  payload.insert(payload.end(), text.begin(), text.end());
  return segment(0xE1, payload);
}

JpegBuilder& JpegBuilder::comment(const std::string& text) {
  return segment(0xFE, textBytes(text));
}

JpegBuilder& JpegBuilder::tables(std::uint16_t width, std::uint16_t height, bool progressive) {
  Data quant(65);
  for (int i = 1; i < 65; ++i) quant[i] = static_cast<std::uint8_t>(1 + i % 50);
  segment(0xDB, quant);
  Data frame = {8};
  put16(frame, height);
  put16(frame, width);
  for (std::uint8_t byte : {3, 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0}) frame.push_back(byte);
  segment(progressive ? 0xC2 : 0xC0, frame);
  Data huffman(29, 0);
  huffman[0] = 0x00;
  huffman[2] = 1;
  return segment(0xC4, huffman);
}

JpegBuilder& JpegBuilder::scan(std::size_t entropyBytes, std::uint32_t seed) {
  segment(0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});
  return raw(entropyData(entropyBytes, seed));
}

JpegBuilder& JpegBuilder::raw(const Data& bytes) {
  for (std::uint8_t byte : bytes) bytes_.push_back(byte);
  return *this;
}

JpegBuilder& JpegBuilder::endOfImage() {
  return raw({0xFF, 0xD9});
}

Data entropyData(std::size_t length, std::uint32_t seed) {
  Data out;
  out.reserve(length + length / 128);
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  while (out.size() < length) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    auto byte = static_cast<std::uint8_t>(state >> 24);
    out.push_back(byte);
    if (byte == 0xFF) out.push_back(0x00);
  }
  return out;
}

Data samplePhoto(std::uint32_t seed, std::size_t imageBytes, const std::string& cameraText,
                 bool progressive) {
  JpegBuilder jpeg;
  jpeg.startOfImage().jfif().exif(cameraText).tables(640, 480, progressive);
  if (!progressive) return jpeg.scan(imageBytes, seed).endOfImage().bytes();
  for (std::uint32_t pass = 0; pass < 3; ++pass) {
    if (pass > 0) jpeg.segment(0xC4, Data(29, static_cast<std::uint8_t>(pass)));
    jpeg.scan(imageBytes / 3, seed + pass);
  }
  return jpeg.endOfImage().bytes();
}

}  // namespace twinlens::sample
