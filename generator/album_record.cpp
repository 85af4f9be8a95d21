#include "album_record.h"

#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include <bit>
#include <cerrno>
#include <memory>

namespace glim {
namespace {

constexpr std::string_view kFirstLine = "Glimmervellium album record\n";
constexpr uint32_t kVersion = 1;
// Far beyond any album, small enough that nothing is allocated for a count a record lies about.
constexpr uint32_t kMaxCount = 10'000'000;
constexpr uint32_t kMaxText = 64 * 1024;

void putNumber(std::string& out, uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void putText(std::string& out, std::string_view text) {
  putNumber(out, text.size());
  out += text;
}

void putStamp(std::string& out, const FileStamp& stamp) {
  putNumber(out, stamp.size);
  putNumber(out, static_cast<uint64_t>(stamp.modified));
  putNumber(out, static_cast<uint64_t>(stamp.changed));
  putNumber(out, stamp.device);
  putNumber(out, stamp.inode);
}

// Reads fields in sequence; every length and count is checked against the bytes left.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  bool atEnd() const { return pos_ == bytes_.size(); }

  uint64_t number() {
    if (!ok_ || bytes_.size() - pos_ < 8) return fail();
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
      value |= uint64_t(static_cast<unsigned char>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 8;
    return value;
  }
  int32_t small() {
    const uint64_t value = number();
    return value <= INT32_MAX ? static_cast<int32_t>(value) : static_cast<int32_t>(fail());
  }
  // A count of items that each take at least `itemBytes`.
  uint32_t count(std::size_t itemBytes) {
    const uint64_t value = number();
    if (value > kMaxCount || value * itemBytes > bytes_.size() - pos_) return fail();
    return static_cast<uint32_t>(value);
  }
  std::string text() {
    const uint64_t length = number();
    if (!ok_ || length > kMaxText || length > bytes_.size() - pos_) return fail(), std::string();
    std::string value(bytes_.substr(pos_, length));
    pos_ += length;
    return value;
  }
  FileStamp stamp() {
    FileStamp stamp;
    stamp.size = number();
    stamp.modified = static_cast<int64_t>(number());
    stamp.changed = static_cast<int64_t>(number());
    stamp.device = number();
    stamp.inode = number();
    return stamp;
  }

 private:
  uint64_t fail() {
    ok_ = false;
    return 0;
  }
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace

std::optional<FileStamp> stampOf(const std::string& path, bool follow) {
  struct stat info {};
  if ((follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  FileStamp stamp;
  stamp.size = static_cast<uint64_t>(info.st_size);
  stamp.modified = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
  stamp.changed = int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  return stamp;
}

std::optional<uint64_t> contentHash(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(),
                                                                        XXH3_freeState);
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && state &&
            XXH3_64bits_reset(state.get()) == XXH_OK;
  constexpr std::size_t kChunk = 1 << 20;
  std::unique_ptr<char[]> buffer(ok ? new char[kChunk] : nullptr);
  while (ok) {
    const ssize_t n = ::read(fd, buffer.get(), kChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    XXH3_64bits_update(state.get(), buffer.get(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return XXH3_64bits_digest(state.get());
}

std::string recordFileName(std::string_view overviewName) {
  std::string name(".");  // appended, not "." + string: GCC 12 misreads that as an overlap
  return name.append(overviewName).append(".record");
}

bool isOutputPath(std::string_view path) {
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos) return isPlainName(path);
  const std::string_view folder = path.substr(0, slash);
  return (folder == "pics" || folder == "mini" || folder == "html") &&
         isPlainName(path.substr(slash + 1));
}

std::string encodeRecord(const AlbumRecord& record) {
  std::string out(kFirstLine);
  putNumber(out, kVersion);
  putText(out, record.overviewName);
  putNumber(out, record.sources.size());
  for (const RecordedSource& source : record.sources) {
    putText(out, source.path);
    putStamp(out, source.stamp);
    putNumber(out, source.hash);
    putText(out, source.settings);
    for (const int32_t value :
         {source.width, source.height, source.thumbWidth, source.thumbHeight}) {
      putNumber(out, static_cast<uint64_t>(value));
    }
    putText(out, source.facts.taken);
    putText(out, source.facts.camera);
    putText(out, source.placeholder);
    putNumber(out, std::bit_cast<uint64_t>(source.clipSeconds));
  }
  putNumber(out, record.outputs.size());
  for (const RecordedOutput& output : record.outputs) {
    putText(out, output.path);
    putStamp(out, output.stamp);
    putNumber(out, static_cast<uint64_t>(output.kind));
    putNumber(out, static_cast<uint64_t>(output.width));
    putNumber(out, static_cast<uint64_t>(output.height));
    putNumber(out, static_cast<uint64_t>(int64_t{output.group}));
    putNumber(out, output.claimed ? 1 : 0);
  }
  return out;
}

std::optional<AlbumRecord> decodeRecord(std::string_view bytes) {
  if (bytes.substr(0, kFirstLine.size()) != kFirstLine) return std::nullopt;
  Reader in(bytes.substr(kFirstLine.size()));
  if (in.number() != kVersion) return std::nullopt;
  AlbumRecord record;
  record.overviewName = in.text();
  constexpr std::size_t kSourceBytes = 8 * 15;  // numbers and empty texts
  const uint32_t sources = in.count(kSourceBytes);
  record.sources.reserve(sources);
  for (uint32_t i = 0; i < sources && in.ok(); ++i) {
    RecordedSource& source = record.sources.emplace_back();
    source.path = in.text();
    source.stamp = in.stamp();
    source.hash = in.number();
    source.settings = in.text();
    source.width = in.small();
    source.height = in.small();
    source.thumbWidth = in.small();
    source.thumbHeight = in.small();
    source.facts.taken = in.text();
    source.facts.camera = in.text();
    source.placeholder = in.text();
    source.clipSeconds = std::bit_cast<double>(in.number());
  }
  constexpr std::size_t kOutputBytes = 8 * 11;
  const uint32_t outputs = in.count(kOutputBytes);
  record.outputs.reserve(outputs);
  for (uint32_t i = 0; i < outputs && in.ok(); ++i) {
    RecordedOutput& output = record.outputs.emplace_back();
    output.path = in.text();
    output.stamp = in.stamp();
    const uint64_t kind = in.number();
    output.width = in.small();
    output.height = in.small();
    const auto group = static_cast<int64_t>(in.number());
    const uint64_t claimed = in.number();
    output.claimed = claimed == 1;
    if (kind > uint64_t(OutputKind::Clip) || group < -1 || group >= int64_t{sources} ||
        claimed > 1 || !isOutputPath(output.path)) {
      return std::nullopt;
    }
    output.kind = static_cast<OutputKind>(kind);
    output.group = static_cast<int32_t>(group);
  }
  if (!in.ok() || !in.atEnd() || !isPlainName(record.overviewName)) return std::nullopt;
  return record;
}

RecordState readRecord(const std::string& path, AlbumRecord& record) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? RecordState::Missing : RecordState::Damaged;
  struct stat info {};
  std::string bytes;
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<uint64_t>(info.st_size) <= kMaxRecordBytes;
  if (ok) bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t got = 0;
  while (ok && got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  std::optional<AlbumRecord> decoded;
  if (ok && got == bytes.size()) decoded = decodeRecord(bytes);
  if (!decoded) return RecordState::Damaged;
  record = std::move(*decoded);
  return RecordState::Read;
}

}  // namespace glim
