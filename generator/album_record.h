// The record an album update keeps beside the overview: every file the run made, and for the
// files made from a picture what they were made from, so that the next update redoes only what
// changed. A record that cannot be read whole, or that another program or album wrote, is not
// trusted at all.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "picture_facts.h"

namespace glim {

// What a file looked like: enough to see that it was changed, replaced or rewritten.
struct FileStamp {
  uint64_t size = 0;
  int64_t modified = 0;  // nanoseconds since the epoch
  int64_t changed = 0;   // the inode's change time: a rewrite whose modification time was set back
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the regular file at `path` (a link followed only when `follow`); nothing for
// anything else.
std::optional<FileStamp> stampOf(const std::string& path, bool follow = false);

// xxHash3 (64 bits) of the bytes of the regular file at `path`; nothing when it cannot be read.
std::optional<uint64_t> contentHash(const std::string& path);

// The kinds of files a picture gives, beside pages, the overview and the style sheet.
enum class OutputKind : uint8_t {
  Page,
  Picture,
  Thumbnail,
  Thumbnail2x,
  SizedJpeg,
  SizedAvif,
  Clip,  // a video clip's MP4 for the pages
};

struct RecordedOutput {
  std::string path;  // below the output folder: "pics/Bild.JPG", "index.htm"
  FileStamp stamp;   // as the run left it
  OutputKind kind = OutputKind::Page;
  int32_t width = 0, height = 0;  // of a sized picture
  int32_t group = -1;             // the RecordedSource it was made from; -1 for none
  // Written while a run was changing the folder: the file under this name is this program's
  // whatever its stamp (the stamp still tells whether it can be kept).
  bool claimed = false;
};

// One album entry's picture and what the run learnt of it while making its files.
struct RecordedSource {
  std::string path;
  FileStamp stamp;
  uint64_t hash = 0;
  std::string settings;  // the fingerprint of every setting that shapes its files
  int32_t width = 0, height = 0, thumbWidth = 0, thumbHeight = 0;
  PictureFacts facts;
  std::string placeholder;
  double clipSeconds = 0;  // a video clip's length
};

struct AlbumRecord {
  std::string overviewName;
  std::vector<RecordedSource> sources;
  std::vector<RecordedOutput> outputs;
};

// The record's file name beside the overview `overviewName`: hidden, named after it.
std::string recordFileName(std::string_view overviewName);

std::string encodeRecord(const AlbumRecord& record);
// Nothing for bytes that are not a whole record of this program's (a wrong first line or
// version, a count or length beyond the bytes, a path that leaves the output folder).
std::optional<AlbumRecord> decodeRecord(std::string_view bytes);

// True for a path an output may have: a name in the output folder or in pics, mini or html.
bool isOutputPath(std::string_view path);

enum class RecordState { Missing, Damaged, Read };
// Reads the record at `path` (at most kMaxRecordBytes, never through a link).
RecordState readRecord(const std::string& path, AlbumRecord& record);
inline constexpr std::size_t kMaxRecordBytes = 256u << 20;

}  // namespace glim
