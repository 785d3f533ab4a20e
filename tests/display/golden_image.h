// Golden pictures for the drawing tests: the whole main surface is compared pixel for pixel
// with a PNG kept under tests/data/, and intermediate states by a hash of all pixels. Setting
// the environment variable KT_WRITE_GOLDEN=1 writes the files instead of comparing.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "display/display.h"

namespace kt::test {

inline bool writing_golden() {
  const char* value = std::getenv("KT_WRITE_GOLDEN");
  return value != nullptr && std::string(value) == "1";
}

// The surface as an RGB32 image (through the public pixel operation only).
inline QImage surface_image(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      row[x] = 0xFF000000u | static_cast<std::uint32_t>(display::surface_pixel(x, y));
    }
  }
  return image;
}

// FNV-1a over the 0xRRGGBB values of every pixel, row by row.
inline std::uint64_t surface_hash(int width, int height) {
  std::uint64_t hash = 1469598103934665603ull;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto rgb = static_cast<std::uint32_t>(display::surface_pixel(x, y));
      for (int byte = 0; byte < 3; ++byte) {
        hash ^= (rgb >> (8 * byte)) & 0xFFu;
        hash *= 1099511628211ull;
      }
    }
  }
  return hash;
}

// Compares the whole surface with the golden PNG (or writes it).
inline ::testing::AssertionResult surface_matches_png(const std::string& path, int width,
                                                      int height) {
  const QImage actual = surface_image(width, height);
  if (writing_golden()) {
    if (!actual.save(QString::fromStdString(path), "PNG")) {
      return ::testing::AssertionFailure() << "cannot write " << path;
    }
    return ::testing::AssertionSuccess();
  }
  QImage expected(QString::fromStdString(path));
  if (expected.isNull()) return ::testing::AssertionFailure() << "cannot read " << path;
  expected = expected.convertToFormat(QImage::Format_RGB32);
  if (expected.size() != actual.size()) {
    return ::testing::AssertionFailure() << path << ": size differs";
  }
  long differing = 0;
  int first_x = -1, first_y = -1;
  for (int y = 0; y < height; ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
    const auto* e = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      if ((a[x] & 0xFFFFFFu) == (e[x] & 0xFFFFFFu)) continue;
      if (differing++ == 0) {
        first_x = x;
        first_y = y;
      }
    }
  }
  if (differing == 0) return ::testing::AssertionSuccess();
  actual.save(QString::fromStdString(path + ".actual.png"), "PNG");
  return ::testing::AssertionFailure()
         << path << ": " << differing << " pixels differ, the first at (" << first_x << ", "
         << first_y << "); the picture drawn is in " << path << ".actual.png";
}

// Named hashes kept in a text file, one "name hash" per line.
class GoldenHashes {
 public:
  explicit GoldenHashes(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_);
    std::string name;
    std::uint64_t hash = 0;
    while (in >> name >> std::hex >> hash) expected_[name] = hash;
  }
  ~GoldenHashes() {
    if (!writing_golden() || actual_.empty()) return;
    for (const auto& [name, hash] : actual_) expected_[name] = hash;
    std::ofstream out(path_);
    for (const auto& [name, hash] : expected_) out << name << ' ' << std::hex << hash << '\n';
  }
  GoldenHashes(const GoldenHashes&) = delete;
  GoldenHashes& operator=(const GoldenHashes&) = delete;

  ::testing::AssertionResult check(const std::string& name, std::uint64_t hash) {
    actual_[name] = hash;
    if (writing_golden()) return ::testing::AssertionSuccess();
    const auto found = expected_.find(name);
    if (found == expected_.end()) {
      return ::testing::AssertionFailure() << "no golden hash for " << name;
    }
    if (found->second != hash) {
      return ::testing::AssertionFailure() << name << ": the page differs from its golden state";
    }
    return ::testing::AssertionSuccess();
  }

 private:
  std::string path_;
  std::map<std::string, std::uint64_t> expected_;
  std::map<std::string, std::uint64_t> actual_;
};

}  // namespace kt::test
