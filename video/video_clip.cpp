#include "video_clip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

namespace glim {
namespace {

bool at(const uint8_t* bytes, std::size_t size, std::size_t offset, const char* text) {
  const std::size_t n = std::strlen(text);
  return size >= offset + n && std::memcmp(bytes + offset, text, n) == 0;
}

// The still-picture brands of the ISO container: HEIF and AVIF pictures, and Canon's CR3 RAW.
bool isStillBrand(const uint8_t* bytes, std::size_t size) {
  static const char* const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm",
                                       "hevs", "mif1", "msf1", "avif", "avis", "crx "};
  for (const char* brand : brands) {
    if (at(bytes, size, 8, brand)) return true;
  }
  return false;
}

// The larger of two sizes plus a little: what ffprobe's answer may take.
constexpr std::size_t kProbeOutput = 64 << 10;

int normalisedRotation(double degrees) {
  long turn = std::lround(degrees / 90.0) % 4;
  if (turn < 0) turn += 4;
  return static_cast<int>(turn * 90);
}

}  // namespace

bool isClipSignature(const uint8_t* bytes, std::size_t size) {
  // ISO and QuickTime files: an atom's size, then its type.
  if (at(bytes, size, 4, "ftyp")) return !isStillBrand(bytes, size);
  for (const char* atom : {"moov", "mdat", "wide", "free", "skip", "pnot"}) {
    if (at(bytes, size, 4, atom)) return true;
  }
  // Matroska and WebM: the EBML header's identifier.
  if (at(bytes, size, 0, "\x1A\x45\xDF\xA3")) return true;
  return at(bytes, size, 0, "RIFF") && at(bytes, size, 8, "AVI ");
}

bool isClipFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t head[16];
  ssize_t got = 0;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    do {
      got = ::read(fd, head, sizeof head);
    } while (got < 0 && errno == EINTR);
  }
  ::close(fd);
  return got > 0 && isClipSignature(head, static_cast<std::size_t>(got));
}

std::string clipInputArgument(const std::string& path) {
  std::string absolute = path;
  // This process's own descriptors, as the child sees them.
  if (absolute.rfind("/proc/self/", 0) == 0) {
    absolute = "/proc/" + std::to_string(::getpid()) + absolute.substr(10);
  }
  if (absolute.empty() || absolute.front() != '/') {
    char folder[4096];
    if (::getcwd(folder, sizeof folder) != nullptr) absolute = std::string(folder) + "/" + path;
  }
  return "file:" + absolute;
}

std::string childFailureText(const ChildResult& result, const char* program) {
  const std::string name(program);
  switch (result.end) {
    case ChildEnd::Missing:
      return "Video clips need the program " + name +
             ", which is not installed (Debian package ffmpeg).";
    case ChildEnd::TimedOut:
      return "The video clip took " + name + " too long; it was stopped.";
    case ChildEnd::Stopped:
      return "The program " + name + " was stopped.";
    case ChildEnd::TooLarge:
      return "The video clip gave " + name + " more data than its size allows.";
    case ChildEnd::Signalled:
      return "The program " + name + " ended abnormally on this video clip.";
    case ChildEnd::Failed:
      return "The program " + name + " could not be started.";
    case ChildEnd::Exited:
      break;
  }
  // Its own last line says best what was wrong with the clip.
  std::string last = result.errors;
  while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) last.pop_back();
  last = last.substr(last.find_last_of('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
  // "file:/path/clip.mp4: Invalid data found when processing input": the reason alone.
  if (last.rfind("file:", 0) == 0 && last.rfind(": ") != std::string::npos) {
    last = last.substr(last.rfind(": ") + 2);
  }
  if (last.size() > 200) last.resize(200);
  return "The video clip cannot be read" + (last.empty() ? std::string(".") : ": " + last);
}

bool probeClip(const std::string& path, ClipFacts& facts, std::string& error) {
  facts = {};
  const ChildResult probe = runChild(
      {"ffprobe", "-v", "error", "-protocol_whitelist", "file", "-format_whitelist", kClipFormats,
       "-show_entries",
       "format=duration:stream=codec_type,codec_name,width,height,pix_fmt:stream_side_data="
       "rotation",
       "-of", "default", clipInputArgument(path)},
      kProbeLimit, kProbeOutput);
  if (!probe.succeeded()) {
    error = childFailureText(probe, "ffprobe");
    return false;
  }
  // "[STREAM]" ... "[/STREAM]" sections of key=value lines, then "[FORMAT]".
  std::istringstream lines(probe.output);
  std::string line;
  std::map<std::string, std::string> stream;
  bool video = false, audio = false;
  while (std::getline(lines, line)) {
    if (line == "[STREAM]") {
      stream.clear();
    } else if (line == "[/STREAM]") {
      if (!video && stream["codec_type"] == "video") {
        video = true;
        facts.videoCodec = stream["codec_name"];
        facts.pixelFormat = stream["pix_fmt"];
        facts.width = static_cast<int32_t>(std::strtol(stream["width"].c_str(), nullptr, 10));
        facts.height = static_cast<int32_t>(std::strtol(stream["height"].c_str(), nullptr, 10));
        facts.rotation = normalisedRotation(std::strtod(stream["rotation"].c_str(), nullptr));
      } else if (!audio && stream["codec_type"] == "audio") {
        audio = true;
        facts.audioCodec = stream["codec_name"];
      }
    } else if (const std::size_t eq = line.find('='); eq != std::string::npos) {
      const std::string key = line.substr(0, eq);
      if (key == "duration") {
        const double seconds = std::strtod(line.c_str() + eq + 1, nullptr);
        if (std::isfinite(seconds) && seconds > 0 && seconds < 1e7) facts.seconds = seconds;
      } else {
        stream[key] = line.substr(eq + 1);
      }
    }
  }
  if (!video || facts.width <= 0 || facts.height <= 0 || facts.width > 65535 ||
      facts.height > 65535) {
    error = "The video clip holds no picture this program can show.";
    return false;
  }
  if (facts.rotation == 90 || facts.rotation == 270) std::swap(facts.width, facts.height);
  return true;
}

std::string clipPoster(const std::string& path, const ClipFacts& facts, std::string& error) {
  // The frame at one second tells more of a clip than its first, which is often dark.
  const uint64_t pixels = static_cast<uint64_t>(facts.width) * static_cast<uint64_t>(facts.height);
  const auto frameAt = [&](const char* at) {
    // clang-format off
    const std::vector<std::string> arguments = {
        "ffmpeg", "-nostdin", "-v", "error", "-protocol_whitelist", "file", "-format_whitelist",
        kClipFormats, "-ss", at, "-i", clipInputArgument(path), "-map", "0:v:0", "-frames:v", "1",
        "-an", "-sn", "-dn", "-f", "image2pipe", "-c:v", "ppm", "-pix_fmt", "rgb24", "-"};
    // clang-format on
    return runChild(arguments, kPosterLimit, static_cast<std::size_t>(pixels * 3 + 64));
  };
  ChildResult poster = frameAt(facts.seconds >= 1.0 ? "1" : "0");
  // A picture stream shorter than the file's duration has no frame at one second.
  if (poster.succeeded() && poster.output.empty() && facts.seconds >= 1.0) poster = frameAt("0");
  if (!poster.succeeded()) {
    error = childFailureText(poster, "ffmpeg");
    return {};
  }
  const std::string expected =
      "P6\n" + std::to_string(facts.width) + " " + std::to_string(facts.height) + "\n255\n";
  if (poster.output.size() != expected.size() + pixels * 3 ||
      poster.output.compare(0, expected.size(), expected) != 0) {
    error = "The video clip's first picture cannot be read.";
    return {};
  }
  return poster.output;
}

std::string clipDurationText(double seconds) {
  long whole = std::isfinite(seconds) && seconds > 0 ? std::lround(seconds) : 0;
  if (whole == 0 && seconds > 0) whole = 1;
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

std::string clipDurationWords(double seconds) {
  long whole = std::isfinite(seconds) && seconds > 0 ? std::lround(seconds) : 0;
  if (whole == 0 && seconds > 0) whole = 1;
  const auto part = [](long n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  std::string words;
  if (whole >= 3600) words = part(whole / 3600, "hour") + " ";
  if (whole >= 60) words += part(whole / 60 % 60, "minute") + " ";
  if (whole % 60 != 0 || whole < 60) words += part(whole % 60, "second");
  while (!words.empty() && words.back() == ' ') words.pop_back();
  return words;
}

}  // namespace glim
