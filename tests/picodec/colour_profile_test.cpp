// Colour profiles: pictures tagged with a profile come out as Little CMS converts their pixels
// to sRGB; untagged, sRGB-tagged and damaged-profile pictures come out exactly as untagged.
// The files are written here with libjpeg, libpng and libtiff; the profiles are Debian's.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "made_profiles.h"
#include "picodec.h"
#include "picodec_test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr int kSize = 16;
const fs::path kProfiles = "/usr/share/color/icc";

Bytes readAll(const fs::path& path) {
  return picotest::readFile(path.string());
}

// Interleaved samples, top-down: red, green, blue (or C, M, Y, K, or grey).
Bytes testPixels(int components) {
  Bytes pixels(kSize * kSize * components);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<uint8_t>((i * 53 + i / 7 * 11) % 256);
  if (components == 3) {  // the colour the issue was found with, at the top-left corner
    pixels[0] = 200, pixels[1] = 40, pixels[2] = 30;
  }
  return pixels;
}

void writeJpeg(const std::string& path, const Bytes& pixels, int components, const Bytes& profile,
               bool adobe = false, int width = kSize, int height = kSize, int orientation = 1) {
  jpeg_compress_struct c;
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_stdio_dest(&c, file);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  if (components == 4) {
    jpeg_set_colorspace(&c, JCS_CMYK);
    c.write_Adobe_marker = adobe ? TRUE : FALSE;
  }
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  if (!profile.empty()) jpeg_write_icc_profile(&c, profile.data(), profile.size());
  if (orientation != 1) {
    // "Exif", a big-endian TIFF header and one entry: orientation (0x0112), SHORT, 1 value.
    const uint8_t exif[] = {
        'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
        8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, uint8_t(orientation),
        0,   0,   0,   0,    0,    0};
    jpeg_write_marker(&c, JPEG_APP0 + 1, exif, sizeof exif);
  }
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = const_cast<uint8_t*>(&pixels[y * width * components]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(file);
}

void writePng(const std::string& path, const Bytes& pixels, const Bytes& profile) {
  FILE* file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!profile.empty()) {
    png_set_iCCP(png, info, "icc", PNG_COMPRESSION_TYPE_BASE, profile.data(),
                 static_cast<png_uint_32>(profile.size()));
  }
  png_write_info(png, info);
  for (int y = 0; y < kSize; ++y) png_write_row(png, &pixels[y * kSize * 3]);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

// RGB (or CMYK for pixels of four samples); as YCbCr in JPEG compression; or as a palette of
// the pixels' colours, one index a pixel (pixel i: index i).
enum class TiffAs { Stored, YCbCr, Palette };
void writeTiff(const std::string& path, const Bytes& pixels, const Bytes& profile,
               TiffAs as = TiffAs::Stored) {
  const bool palette = as == TiffAs::Palette;
  const int samples = static_cast<int>(pixels.size() / (kSize * kSize));
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kSize);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kSize);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, palette ? 1 : samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
               palette        ? PHOTOMETRIC_PALETTE
               : samples == 4 ? PHOTOMETRIC_SEPARATED
                              : PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (as == TiffAs::YCbCr) {  // libtiff turns the RGB rows into YCbCr
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kSize);
  }
  std::vector<uint16_t> map[3];
  Bytes indices(kSize * kSize);
  for (int i = 0; palette && i < kSize * kSize; ++i) {
    for (int c = 0; c < 3; ++c) map[c].push_back(static_cast<uint16_t>(pixels[3 * i + c] * 257));
    indices[i] = static_cast<uint8_t>(i);
  }
  if (palette) TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
  if (!profile.empty()) {
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
  }
  for (int y = 0; y < kSize; ++y) {
    uint8_t* row =
        palette ? &indices[y * kSize] : const_cast<uint8_t*>(&pixels[y * kSize * samples]);
    TIFFWriteScanline(tiff, row, y, 0);
  }
  TIFFClose(tiff);
}

// The decoded picture's pixels, top-down, red green blue (through its table for 8 bits).
Bytes decoded(const std::string& path) {
  picotest::OwnedDib d;
  OpenDib(&d.dib, path.c_str(), 0, nullptr);
  EXPECT_NE(d->Pixels, nullptr) << path << ": " << d.error();
  Bytes rgb;
  if (d->Pixels == nullptr) return rgb;
  for (int y = d.height() - 1; y >= 0; --y) {
    for (int x = 0; x < d.width(); ++x) {
      const uint32_t colour = d.color(x, y);
      rgb.insert(rgb.end(), {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)});
    }
  }
  return rgb;
}

// What Little CMS makes of the pixels in sRGB.
Bytes converted(const Bytes& pixels, const Bytes& profile, cmsUInt32Number format) {
  cmsHPROFILE in =
      cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHPROFILE out = cmsCreate_sRGBProfile();
  cmsHTRANSFORM t =
      cmsCreateTransform(in, format, out, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  const size_t count = pixels.size() / (T_CHANNELS(format) + T_EXTRA(format));
  Bytes rgb(count * 3);
  cmsDoTransform(t, pixels.data(), rgb.data(), static_cast<cmsUInt32Number>(count));
  cmsDeleteTransform(t);
  cmsCloseProfile(in);
  cmsCloseProfile(out);
  return rgb;
}

int maxDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 999;
  int most = 0;
  for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
  return most;
}

class ColourProfiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kProfiles / "colord/AdobeRGB1998.icc")) {
      GTEST_FAIL() << "the colour profiles of colord-data are not installed";
    }
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_ = fs::temp_directory_path() / ("glim-colour-" + std::to_string(getpid()));
};

TEST_F(ColourProfiles, TaggedPicturesComeOutAsLittleCmsConvertsThem) {
  const Bytes rgb = testPixels(3);
  for (const char* name :
       {"SwappedRedAndGreen", "AdobeRGB1998", "ProPhotoRGB", "Extreme", "WideGamutRGB"}) {
    const Bytes profile = std::string(name) == "Extreme"
                              ? picotest::madeProfile(true)
                              : readAll(kProfiles / "colord" / (std::string(name) + ".icc"));
    ASSERT_FALSE(profile.empty()) << name;
    const Bytes expected = converted(rgb, profile, TYPE_RGB_8);
    writePng(file("p.png"), rgb, profile);
    writeTiff(file("p.tif"), rgb, profile);
    EXPECT_LE(maxDifference(decoded(file("p.png")), expected), 3) << name << " PNG";
    EXPECT_LE(maxDifference(decoded(file("p.tif")), expected), 3) << name << " TIFF";
    writeTiff(file("i.tif"), rgb, profile, TiffAs::Palette);
    EXPECT_LE(maxDifference(decoded(file("i.tif")), expected), 3) << name << " palette TIFF";
    // JPEG is lossy: against the conversion of what the same file decodes to untagged.
    writeJpeg(file("plain.jpg"), rgb, 3, {});
    writeJpeg(file("p.jpg"), rgb, 3, profile);
    EXPECT_LE(maxDifference(decoded(file("p.jpg")),
                            converted(decoded(file("plain.jpg")), profile, TYPE_RGB_8)),
              3)
        << name << " JPEG";
    writeTiff(file("plain.tif"), rgb, {}, TiffAs::YCbCr);
    writeTiff(file("y.tif"), rgb, profile, TiffAs::YCbCr);
    EXPECT_LE(maxDifference(decoded(file("y.tif")),
                            converted(decoded(file("plain.tif")), profile, TYPE_RGB_8)),
              3)
        << name << " YCbCr TIFF";
  }
  // Red and green change places.
  writePng(file("s.png"), rgb, readAll(kProfiles / "colord/SwappedRedAndGreen.icc"));
  const Bytes s = decoded(file("s.png"));
  EXPECT_NEAR(s[0], 40, 3);
  EXPECT_NEAR(s[1], 200, 3);
  EXPECT_NEAR(s[2], 30, 3);
}

// Rows of 64 pixels and more go through the wide path in every layout the JPEG reader has: rows
// end to end in the record (128 across), padded rows (101 across), and the strip of a picture
// that EXIF orientation 6 turns.
TEST_F(ColourProfiles, LongJpegRowsInEveryLayout) {
  const Bytes profile = readAll(kProfiles / "colord/AdobeRGB1998.icc");
  constexpr int kHeight = 40;
  for (const int width : {128, 101}) {
    Bytes rgb(width * kHeight * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 53 + i / 7 * 11));
    for (const int orientation : {1, 6}) {
      writeJpeg(file("plain.jpg"), rgb, 3, {}, false, width, kHeight, orientation);
      writeJpeg(file("p.jpg"), rgb, 3, profile, false, width, kHeight, orientation);
      EXPECT_LE(maxDifference(decoded(file("p.jpg")),
                              converted(decoded(file("plain.jpg")), profile, TYPE_RGB_8)),
                3)
          << width << " across, orientation " << orientation;
    }
  }
}

TEST_F(ColourProfiles, UntaggedSrgbAndDamagedProfilesLeaveThePixelsAlone) {
  const Bytes rgb = testPixels(3);
  writeJpeg(file("plain.jpg"), rgb, 3, {});
  writePng(file("plain.png"), rgb, {});
  const Bytes plainJpeg = decoded(file("plain.jpg"));
  const Bytes plainPng = decoded(file("plain.png"));
  EXPECT_EQ(plainPng, rgb);

  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsUInt32Number bytes = 0;
  ASSERT_TRUE(cmsSaveProfileToMem(srgb, nullptr, &bytes));
  Bytes builtIn(bytes);
  ASSERT_TRUE(cmsSaveProfileToMem(srgb, builtIn.data(), &bytes));
  cmsCloseProfile(srgb);
  builtIn.resize(bytes);
  Bytes garbage = readAll(kProfiles / "colord/AdobeRGB1998.icc");
  for (size_t i = 128; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7);
  const Bytes cut(garbage.begin(), garbage.begin() + 200);
  writeTiff(file("plain.tif"), rgb, {});
  const Bytes plainTiff = decoded(file("plain.tif"));
  const std::vector<Bytes> srgbProfiles = {readAll(kProfiles / "colord/sRGB.icc"), builtIn};
  const std::vector<Bytes> damaged = {garbage, cut, Bytes(300, 0xFF)};
  for (const Bytes& profile : srgbProfiles) {
    writePng(file("t.png"), rgb, profile);
    EXPECT_EQ(decoded(file("t.png")), plainPng) << profile.size() << " bytes of sRGB";
  }
  // libpng refuses to write a damaged profile; JPEG and TIFF carry them as they are.
  for (const std::vector<Bytes>* set : {&srgbProfiles, &damaged}) {
    for (const Bytes& profile : *set) {
      writeJpeg(file("t.jpg"), rgb, 3, profile);
      writeTiff(file("t.tif"), rgb, profile);
      EXPECT_EQ(decoded(file("t.jpg")), plainJpeg) << profile.size() << " bytes of profile";
      EXPECT_EQ(decoded(file("t.tif")), plainTiff) << profile.size() << " bytes of profile";
    }
  }
}

// A profile of exactly the size limit is used; one byte more and it is left alone.
TEST_F(ColourProfiles, ProfileSizeLimitIsInclusive) {
  constexpr size_t kLimit = 4u << 20;  // the library's limit for an embedded profile
  const Bytes rgb = testPixels(3);
  const Bytes adobe = readAll(kProfiles / "colord/AdobeRGB1998.icc");
  writeJpeg(file("plain.jpg"), rgb, 3, {});
  writeJpeg(file("a.jpg"), rgb, 3, adobe);
  const Bytes plain = decoded(file("plain.jpg"));
  const Bytes converted = decoded(file("a.jpg"));
  ASSERT_NE(converted, plain);
  for (const size_t size : {kLimit, kLimit + 1}) {
    Bytes padded = adobe;
    padded.resize(size, 0);
    for (int i = 0; i < 4; ++i) padded[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    writeJpeg(file("a.jpg"), rgb, 3, padded);
    EXPECT_EQ(decoded(file("a.jpg")), size == kLimit ? converted : plain) << size << " bytes";
  }
}

TEST_F(ColourProfiles, GreyAndCmykPicturesWithProfiles) {
  // Grey with a grey profile: the table says what each grey is in sRGB.
  const Bytes grey = testPixels(1);
  const Bytes greyProfile = readAll(kProfiles / "Gray.icc");
  ASSERT_FALSE(greyProfile.empty());
  writeJpeg(file("g.jpg"), grey, 1, greyProfile);
  writeJpeg(file("gplain.jpg"), grey, 1, {});
  Bytes plainGrey;
  for (size_t i = 0; i < grey.size(); ++i) plainGrey.push_back(decoded(file("gplain.jpg"))[3 * i]);
  EXPECT_LE(maxDifference(decoded(file("g.jpg")), converted(plainGrey, greyProfile, TYPE_GRAY_8)),
            1);

  // CMYK, plain and Adobe-inverted, against Little CMS on the samples libjpeg decodes.
  const Bytes cmyk = testPixels(4);
  const Bytes cmykProfile = readAll(kProfiles / "ghostscript/default_cmyk.icc");
  ASSERT_FALSE(cmykProfile.empty());
  for (const bool adobe : {false, true}) {
    writeJpeg(file("c.jpg"), cmyk, 4, cmykProfile, adobe);
    jpeg_decompress_struct d;
    jpeg_error_mgr errors;
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    FILE* in = std::fopen(file("c.jpg").c_str(), "rb");
    jpeg_stdio_src(&d, in);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&d);
    Bytes samples(kSize * kSize * 4);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = &samples[d.output_scanline * kSize * 4];
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(in);
    const cmsUInt32Number format = adobe ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
    EXPECT_LE(maxDifference(decoded(file("c.jpg")), converted(samples, cmykProfile, format)), 3)
        << (adobe ? "Adobe-inverted" : "plain");
  }
  // A CMYK TIFF with the profile: its samples as they are.
  writeTiff(file("c.tif"), cmyk, cmykProfile);
  EXPECT_LE(maxDifference(decoded(file("c.tif")), converted(cmyk, cmykProfile, TYPE_CMYK_8)), 3);
}

}  // namespace
