// Video clips the tests make with the ffmpeg program from its generated sources.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace glim::testing {

// Kinds: "h264" (an H.264/AAC MP4 of one colour, 2 s, with location, creation and device tags),
// "hevc90" (an HEVC MOV shown turned by 90 degrees, 320x240 stored), "short" (0.5 s), "vp9" (a
// VP9/Opus WebM, 1.2 s, of odd width and height), "truncated" (the first half of an MP4 whose index
// is at its end) and "fake" (an MP4 signature before garbage). False when ffmpeg could not make it.
inline bool makeClip(const std::filesystem::path& path, const std::string& kind) {
  const std::string q = "'" + path.string() + "'";
  const std::string ff = "ffmpeg -nostdin -v error -y ";
  std::string command;
  if (kind == "h264" || kind == "truncated") {
    command = ff +
              "-f lavfi -i color=c=0x3366CC:size=320x240:rate=25:duration=2 -f lavfi -i "
              "sine=duration=2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "
              "-metadata location=+47.3769+008.5417/ -metadata creation_time=2021-05-01T14:03:27Z "
              "-metadata make=Glimcam -metadata model=Z9 " +
              q;
  } else if (kind == "hevc90") {
    // The display matrix is written when a stream is copied with a "rotate" tag.
    const std::string plain = "'" + path.string() + ".plain.mov'";
    command = ff +
              "-f lavfi -i testsrc=size=320x240:rate=25:duration=1.5 -c:v libx265 -x265-params "
              "log-level=error -pix_fmt yuv420p -tag:v hvc1 " +
              plain + " && " + ff + "-i " + plain + " -c copy -metadata:s:v:0 rotate=90 " + q +
              " && rm " + plain;
  } else if (kind == "short") {
    command = ff + "-f lavfi -i testsrc=size=160x120:rate=10:duration=0.5 -c:v libx264 " + q;
  } else if (kind == "vp9") {
    command = ff +
              "-f lavfi -i testsrc=size=321x181:rate=25:duration=1.2 -f lavfi -i "
              "sine=duration=1.2 -c:v libvpx-vp9 -deadline realtime -c:a libopus -shortest " +
              q;
  } else if (kind == "fake") {
    std::ofstream(path, std::ios::binary) << std::string(
                                                 "\0\0\0\x18"
                                                 "ftypmp42",
                                                 12)
                                          << std::string(4000, '\x5A');
    return true;
  }
  if (command.empty() || std::system(command.c_str()) != 0) return false;
  if (kind == "truncated") std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  return true;
}

}  // namespace glim::testing
