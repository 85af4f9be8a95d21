// HEIF and AVIF through libheif: the primary image, with the container's rotation and
// mirroring applied, as 24 bits, alpha composited over white.
#include <memory>
#include <string>
#include <vector>

#include <libheif/heif.h>

#include "codec_error.h"
#include "colour_profile.h"
#include "picture_readers.h"

namespace picodec {
namespace {

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void check(heif_error error) {
  if (error.code != heif_error_Ok) {
    fail(std::string("The HEIF file cannot be decoded: ") +
         (error.message != nullptr ? error.message : "unknown error") + ".");
  }
}

// The picture's colours: an ICC profile, or primaries and a transfer curve (nclx). Curves for
// high dynamic range are not followed.
std::shared_ptr<const ColourConversion> colourOf(const heif_image_handle* handle) {
  switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
      const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
      if (size == 0 || size > ColourConversion::kMaxProfileBytes) return nullptr;
      std::vector<uint8_t> profile(size);
      if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
        return nullptr;
      return ColourConversion::fromIcc(profile, ColourConversion::Layout::Bgr8);
    }
    case heif_color_profile_type_nclx: {
      heif_color_profile_nclx* nclx = nullptr;
      if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok ||
          nclx == nullptr) {
        return nullptr;
      }
      std::shared_ptr<const ColourConversion> colour;
      const int transfer = nclx->transfer_characteristics;
      // sRGB's curve, or BT.709's, which displays treat alike.
      const bool srgbLike = transfer == 13 || transfer == 1 || transfer == 6 || transfer == 14 ||
                            transfer == 15 || transfer == 2;
      if (srgbLike && nclx->color_primaries != heif_color_primaries_ITU_R_BT_709_5 &&
          nclx->color_primaries != heif_color_primaries_unspecified) {
        const double white[2] = {nclx->color_primary_white_x, nclx->color_primary_white_y};
        const double red[2] = {nclx->color_primary_red_x, nclx->color_primary_red_y};
        const double green[2] = {nclx->color_primary_green_x, nclx->color_primary_green_y};
        const double blue[2] = {nclx->color_primary_blue_x, nclx->color_primary_blue_y};
        colour =
            ColourConversion::fromPrimaries(white, red, green, blue, ColourConversion::kSrgbCurve);
      }
      heif_nclx_color_profile_free(nclx);
      return colour;
    }
    default:
      return nullptr;
  }
}

}  // namespace

DibOwner readHeif(Bytes bytes, Progress& progress) {
  std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
  if (!context) fail("Not enough memory to read the HEIF file.");
  heif_context_set_maximum_image_size_limit(context.get(), PICODEC_MAX_DIMENSION);
  check(heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(),
                                                   nullptr));
  heif_image_handle* rawHandle = nullptr;
  check(heif_context_get_primary_image_handle(context.get(), &rawHandle));
  std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
  checkPictureSize(heif_image_handle_get_width(handle.get()),
                   heif_image_handle_get_height(handle.get()));
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;

  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  heif_image* rawImage = nullptr;
  progress.update(10, 100);
  check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          options.get()));
  std::unique_ptr<heif_image, ImageRelease> image(rawImage);
  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  checkPictureSize(width, height);
  int stride = 0;
  const uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || stride < width * (alpha ? 4 : 3))
    fail("The HEIF file cannot be decoded.");
  progress.update(80, 100);

  const std::shared_ptr<const ColourConversion> colour = colourOf(handle.get());
  DibOwner dib(width, height, 24, PixelStart::Overwritten);
  const int step = alpha ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = plane + static_cast<int64_t>(y) * stride;
    uint8_t* dst = dib.topRow(y);
    for (int x = 0; x < width; ++x, src += step, dst += 3) {
      const unsigned a = alpha ? src[3] : 255;
      for (int c = 0; c < 3; ++c) {
        dst[2 - c] = static_cast<uint8_t>((src[c] * a + 255 * (255 - a) + 127) / 255);
      }
    }
    if (colour != nullptr) colour->convert(dib.topRow(y), dib.topRow(y), width);
  }
  return dib;
}

}  // namespace picodec
