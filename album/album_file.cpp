#include "album_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "atomic_file.h"
#include "paths.h"
#include "temporary_file.h"

namespace glim {
namespace {

constexpr std::string_view kHeader = kProductHeader;  // 26 bytes, no length prefix
static_assert(kHeader.size() == 26);
// The smallest entry record: two empty texts and two flags.
constexpr std::size_t kMinEntryBytes = 4 + 4 + 1 + 1;

void putInt(std::string& out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void putText(std::string& out, std::string_view text) {
  putInt(out, static_cast<int32_t>(text.size()));
  out += text;
}

// Reads fields in sequence and refuses anything that runs past the end.
class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}
  std::size_t remaining() const { return bytes_.size() - pos_; }

  bool readInt(int32_t& value) {
    if (remaining() < 4) return false;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= uint32_t(static_cast<unsigned char>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 4;
    value = static_cast<int32_t>(v);
    return true;
  }
  bool readText(std::string_view& text) {
    int32_t length = 0;
    if (!readInt(length) || length < 0 || static_cast<std::size_t>(length) > remaining())
      return false;
    text = bytes_.substr(pos_, static_cast<std::size_t>(length));
    pos_ += static_cast<std::size_t>(length);
    return true;
  }
  bool readText(std::string& text) {
    std::string_view view;
    if (!readText(view)) return false;
    text.assign(view);
    return true;
  }
  bool readFlag(bool& flag) {
    if (remaining() < 1) return false;
    flag = bytes_[pos_++] != 0;
    return true;
  }
  bool readRaw(std::size_t size, std::string_view& out) {
    if (remaining() < size) return false;
    out = bytes_.substr(pos_, size);
    pos_ += size;
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// A picture beside the album file is stored by name, so both can move together. A path
// that names the folder itself keeps its folder rather than becoming empty.
std::string storedPath(const std::string& path, std::string_view albumFolder) {
  std::string name = fileNamePart(path);
  if (!name.empty() && sameFolder(folderPart(path), albumFolder)) return name;
  return path;
}

}  // namespace

std::string encodeAlbumFile(const std::vector<PictureEntry>& entries, const AlbumSettings& settings,
                            std::string_view albumPath) {
  const std::string albumFolder = folderPart(albumPath);
  std::string out;
  out += kHeader;
  putInt(out, static_cast<int32_t>(entries.size()));
  for (const PictureEntry& entry : entries) {
    putText(out, storedPath(entry.FilePath, albumFolder));
    putText(out, entry.commentText());
    out += static_cast<char>(entry.ShowFlag ? 1 : 0);
    out += static_cast<char>(entry.CheckMark ? 1 : 0);
  }
  putInt(out, static_cast<int32_t>(settings.backgroundColor));
  putInt(out, settings.thumbWidth);
  putInt(out, settings.thumbHeight);
  putInt(out, settings.perLine);
  putInt(out, settings.borderWidth);
  putInt(out, settings.detailBorderWidth);
  putText(out, settings.caption);
  putText(out, settings.freeText);
  putText(out, settings.detailCaption);
  return out;
}

std::optional<DecodedAlbum> decodeAlbumFile(std::string_view bytes, std::string_view albumPath) {
  FieldReader in(bytes);
  std::string_view header;
  if (!in.readRaw(kHeader.size(), header) || header != kHeader) return std::nullopt;

  // A bare file name is found beside the album file, wherever that now lies.
  const std::string albumFolder = withTrailingSeparator(folderPart(albumPath));
  DecodedAlbum album;
  int32_t count = 0;
  // Any count whose records fit in the bytes present is read: memory stays bounded by the
  // file's own size, and every album the program saves opens again.
  if (!in.readInt(count) || count < 0 ||
      static_cast<std::size_t>(count) > in.remaining() / kMinEntryBytes)
    return std::nullopt;
  // The whole file is checked before any entry is made: a damaged file costs no memory
  // beyond its bytes, and a good one gets its entries in one allocation.
  const FieldReader entriesStart = in;
  for (int32_t i = 0; i < count; ++i) {
    std::string_view path;
    std::string_view comment;
    bool flag = false;
    if (!in.readText(path) || !in.readText(comment) || !in.readFlag(flag) || !in.readFlag(flag))
      return std::nullopt;
  }
  FieldReader settingsStart = in;
  int32_t number = 0;
  std::string_view text;
  for (int field = 0; field < 6; ++field) {
    if (!in.readInt(number)) return std::nullopt;
  }
  for (int field = 0; field < 3; ++field) {
    if (!in.readText(text)) return std::nullopt;
  }

  in = entriesStart;
  album.entries.resize(static_cast<std::size_t>(count));
  for (PictureEntry& entry : album.entries) {
    std::string comment;
    in.readText(entry.FilePath);
    in.readText(comment);
    in.readFlag(entry.ShowFlag);
    in.readFlag(entry.CheckMark);
    if (!entry.FilePath.empty() && folderPart(entry.FilePath).empty())
      entry.FilePath = albumFolder + entry.FilePath;
    entry.Comment = std::move(comment);
  }
  in = settingsStart;
  int32_t color = 0;
  AlbumSettings& s = album.settings;
  if (!in.readInt(color) || !in.readInt(s.thumbWidth) || !in.readInt(s.thumbHeight) ||
      !in.readInt(s.perLine) || !in.readInt(s.borderWidth) || !in.readInt(s.detailBorderWidth) ||
      !in.readText(s.caption) || !in.readText(s.freeText) || !in.readText(s.detailCaption))
    return std::nullopt;
  s.backgroundColor = static_cast<uint32_t>(color);
  s.clampAll();
  return album;
}

MessageBox saveErrorBox(std::string_view path) {
  return errorBox("Save Glimmervellium: Couldn't save file " + fileNamePart(path) + " !");
}

MessageBox openErrorBox(std::string_view path) {
  return errorBox("Open Glimmervellium: Couldn't open file " + fileNamePart(path) + " !");
}

MessageBox invalidFileBox() {
  return errorBox("This isn't a valid \"Glimmervellium 1\" file!");
}

std::optional<MessageBox> SaveFile(Album& album, const AlbumSettings& settings,
                                   const std::string& path) {
  // Temporary files of saves that were killed part way, never those of a running program.
  removeLeftTemporaries(folderPart(path).empty() ? "." : folderPart(path), LeftBy::EndedProcess);
  if (!writeFileAtomically(path, encodeAlbumFile(album.entries(), settings, path)))
    return saveErrorBox(path);
  album.Setsavedfilename(path);
  return std::nullopt;
}

namespace {

std::optional<MessageBox> readAlbumFile(Album& album, AlbumSettings& settings,
                                        const std::string& path) {
  // Only a regular file is read; a named pipe must not hold the window waiting for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return openErrorBox(path);
  struct stat info {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return openErrorBox(path);
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(::fdopen(fd, "rb"), &std::fclose);
  if (!file) {
    ::close(fd);
    return openErrorBox(path);
  }
  std::string bytes;
  char buffer[65536];
  std::size_t n;
  if (info.st_size > 0) bytes.reserve(static_cast<std::size_t>(info.st_size));
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(file.get())) return openErrorBox(path);

  std::optional<DecodedAlbum> decoded = decodeAlbumFile(bytes, path);
  if (!decoded) return invalidFileBox();
  album.replaceEntries(std::move(decoded->entries));
  settings = std::move(decoded->settings);
  album.Setsavedfilename(path);
  return std::nullopt;
}

}  // namespace

std::optional<MessageBox> OpenFile(Album& album, AlbumSettings& settings, const std::string& path) {
  // A file too large for the memory left is refused like any other file that cannot be read.
  try {
    return readAlbumFile(album, settings, path);
  } catch (const std::bad_alloc&) {
    return openErrorBox(path);
  }
}

}  // namespace glim
