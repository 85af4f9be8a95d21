// Picture files that the album tests make themselves: uncompressed BMP files of 1, 4, 8 and
// 24 bits, and a temporary folder that is removed again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace glim::testing {

struct Rgb {
  uint8_t red, green, blue;
  bool operator==(const Rgb&) const = default;
};

// A BMP file of `bits` (1, 4, 8 or 24) per pixel. For 24 bits `colorAt` gives each pixel's
// colour and `palette` is unused; otherwise `indexAt` gives the colour-table index.
struct BmpPicture {
  int32_t width = 1;
  int32_t height = 1;
  int32_t bits = 24;
  std::vector<Rgb> palette;
  std::function<Rgb(int32_t x, int32_t y)> colorAt = [](int32_t, int32_t) {
    return Rgb{90, 160, 220};
  };
  std::function<uint8_t(int32_t x, int32_t y)> indexAt = [](int32_t, int32_t) { return 0; };
};

// Writes the picture (rows top to bottom as x, y count them); fails the test on error.
void writeBmp(const std::filesystem::path& path, const BmpPicture& picture);

// A 24-bit picture of one colour.
void writePlainBmp(const std::filesystem::path& path, int32_t width, int32_t height,
                   Rgb color = {90, 160, 220});

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& prefix = "glim-gen");
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Names of the entries of `folder`, sorted; empty when it does not exist.
std::vector<std::string> folderNames(const std::filesystem::path& folder);

std::string readFile(const std::filesystem::path& path);

}  // namespace glim::testing
