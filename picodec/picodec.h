/* picodec: the picture codec library. Reads picture files into device-independent
 * bitmaps (DibImage), writes JPEG files, and makes, frees, reads and writes records.
 * C linkage; compiles as C and C++. No exception ever crosses this boundary. */
#ifndef PICODEC_H
#define PICODEC_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define PICODEC_API __declspec(dllexport)
#else
#define PICODEC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The bitmap information header (40 bytes), followed in memory by the colour table. */
typedef struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight; /* always positive: rows are stored bottom-up */
  uint16_t biPlanes;
  uint16_t biBitCount; /* 1, 4, 8, 16, 24 or 32 */
  uint32_t biCompression;
  uint32_t biSizeImage; /* RowBytes * biHeight */
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} BITMAPINFOHEADER;

/* One colour-table entry after the header: blue, green, red, reserved. */
typedef struct RGBQUAD {
  uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} RGBQUAD;

/* One palette entry: red, green, blue, flags. */
typedef struct PALETTEENTRY {
  uint8_t peRed, peGreen, peBlue, peFlags;
} PALETTEENTRY;

/* A logical palette: what a palette handle points at. The drawing layer selects it by
 * reading these colours. Made and freed only by the library. */
typedef struct PicoLogPalette {
  uint32_t count; /* 1 to 256 */
  PALETTEENTRY entries[256];
} PicoLogPalette;
typedef PicoLogPalette* HPALETTE;

/* The window that receives progress. The library calls send(window, 0x0400, percent, 0)
 * synchronously on the calling thread; a null handle receives nothing. */
typedef struct PicoWindow PicoWindow;
struct PicoWindow {
  void (*send)(PicoWindow* window, uint32_t message, intptr_t wparam, intptr_t lparam);
};
typedef PicoWindow* HWND;

#define PICODEC_WM_USER 0x0400u
#define PICODEC_SAVE_JPEG 7

/* Limits on what the library accepts. A picture larger than these is refused with an error
 * text before any pixel memory is allocated. */
#define PICODEC_MAX_DIMENSION 65535                   /* pixels in either direction */
#define PICODEC_MAX_PIXELS (128u * 1024u * 1024u)     /* width x height */
#define PICODEC_MAX_FILE_BYTES (512u * 1024u * 1024u) /* a picture file read whole */
#define PICODEC_JPEG_QUALITY 90                       /* SaveDib with PICODEC_SAVE_JPEG */

/* Return values of the int32_t functions (callers may ignore them and test the record). */
#define PICODEC_OK 1
#define PICODEC_FAILED 0

/* One decoded picture. Field order and reserved areas are the contract with the library:
 * 1084 bytes on a 32-bit build; pointer and handle fields are native width elsewhere. */
typedef struct DibImage {
  BITMAPINFOHEADER* Header;      /* header and colour table */
  uint32_t Storage;              /* non-zero while the record holds library storage */
  uint32_t Reserved0;            /* the library's */
  uint8_t* Pixels;               /* bottom-up rows of RowBytes bytes; null: no picture */
  int32_t RowBytes;              /* ((biWidth * biBitCount + 31) / 32) * 4 */
  uint8_t HasPalette;            /* 1: select Palette before drawing */
  uint8_t Reserved1[5];          /* the library's */
  uint8_t PaletteEntries[1024];  /* 256 x (red, green, blue, flags); error text after a failed open */
  uint8_t Reserved2[2];          /* the library's */
  HPALETTE Palette;              /* logical palette for palette devices, or null */
  uint8_t Reserved3[28];         /* the library's */
} DibImage;

#ifdef __cplusplus
static_assert(sizeof(void*) != 4 || sizeof(DibImage) == 1084, "DibImage is 1084 bytes on 32-bit builds");
static_assert(sizeof(void*) != 4 || offsetof(DibImage, Pixels) == 12, "Pixels at 12");
static_assert(sizeof(void*) != 4 || offsetof(DibImage, Palette) == 1052, "Palette at 1052");
static_assert(sizeof(void*) != 8 || offsetof(DibImage, Pixels) == 16, "Pixels after the header pointer");
static_assert(sizeof(void*) != 8 || offsetof(DibImage, PaletteEntries) == 34, "PaletteEntries");
static_assert(sizeof(void*) != 8 || offsetof(DibImage, Palette) == 1064, "Palette");
static_assert(sizeof(void*) != 8 || sizeof(DibImage) == 1104, "DibImage on 64-bit builds");
static_assert(offsetof(DibImage, PaletteEntries) == offsetof(DibImage, HasPalette) + 6, "PaletteEntries follows the reserved bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
#else
_Static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
#endif

/* Reads a picture file. Success: Pixels non-null. Failure: Pixels null, nothing to free,
 * an English error text (NUL-terminated) at the start of PaletteEntries. flags is 0. */
PICODEC_API int32_t OpenDib(DibImage* out, const char* path, int32_t flags, HWND window);

/* Writes the picture; format PICODEC_SAVE_JPEG writes a baseline JPEG file. */
PICODEC_API int32_t SaveDib(DibImage dib, const char* path, int32_t format, HWND window);

/* As SaveDib, into a file the caller has created and opened for writing: `fd`, written from
 * its current position and left open. When the failure was a write to the file (a full disk,
 * say), `write_error` (may be null) receives its errno; otherwise 0. */
PICODEC_API int32_t SaveDibToFile(DibImage dib, int32_t fd, int32_t format, HWND window,
                                  int32_t* write_error);

/* A new all-zero picture; copies `colors` colour-table entries from `header` when given.
 * Storage is 0 when it could not be made. */
PICODEC_API int32_t newdib(DibImage* out, int32_t width, int32_t height, int32_t bits_per_pixel,
                           const BITMAPINFOHEADER* header, int32_t colors);

/* Releases everything the record holds, palette included. */
PICODEC_API void deldib(DibImage dib);

/* Pixel value at (x, row as stored): a colour-table index, or for 24 bits red in the low byte. */
PICODEC_API uint32_t getpixel(DibImage dib, int32_t x, int32_t y);
PICODEC_API int32_t setpixel(DibImage dib, int32_t x, int32_t y, uint32_t value);

/* Halftoned 8-bit copies of a 24-bit picture for palette displays, with Palette set. */
PICODEC_API int32_t DIBHalftoneDIB(DibImage* out, DibImage source);
PICODEC_API int32_t DIBHalftoneDIBXY(DibImage* out, DibImage source, int32_t width, int32_t height);

/* "description|mask|description|mask..." of every readable type; static, never freed. */
PICODEC_API const char* GetDIBOpenFilter(void);

#ifdef __cplusplus
}
#endif

#endif /* PICODEC_H */
