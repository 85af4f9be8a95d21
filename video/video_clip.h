// What a video clip is to this program: recognised by its first bytes (MP4, MOV, M4V, 3GP,
// WebM, MKV, AVI), described by ffprobe, and shown by its poster, the frame at one second (the
// first of a shorter clip) with the clip's rotation applied, which ffmpeg hands over as a PPM
// picture on a pipe. Every call runs the program as a child process with a time limit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "child_process.h"

namespace glim {

// The patterns of the clip kinds, for the file box: "*.mp4;*.mov;...".
inline constexpr const char* kClipPatterns = "*.mp4;*.mov;*.m4v;*.3gp;*.webm;*.mkv;*.avi";

// Whether a file's first bytes (16 are enough) are those of a clip container. The still
// pictures of the same container (HEIF and AVIF brands) are not clips.
bool isClipSignature(const uint8_t* bytes, std::size_t size);
// The same for the file at `path`, read without waiting; false for anything not a regular file.
bool isClipFile(const std::string& path);

struct ClipFacts {
  int32_t width = 0, height = 0;  // as shown, its rotation applied
  int rotation = 0;               // degrees of its display matrix: 0, 90, 180 or 270
  double seconds = 0;
  std::string videoCodec, audioCodec, pixelFormat;  // audio empty when it has none
};

// The time limits of the calls: a description, a poster.
inline constexpr std::chrono::seconds kProbeLimit{20};
inline constexpr std::chrono::seconds kPosterLimit{60};

// Describes the clip with ffprobe. False, with a text for the user in `error`, when ffprobe is
// missing, fails or finds no picture stream.
bool probeClip(const std::string& path, ClipFacts& facts, std::string& error);

// The poster as a binary PPM (P6, 8 bits) of facts.width x facts.height. Empty, with a text
// for the user in `error`, on any failure.
std::string clipPoster(const std::string& path, const ClipFacts& facts, std::string& error);

// The path as an input argument that ffmpeg reads as a plain file whatever its name ("file:"
// and the absolute path).
std::string clipInputArgument(const std::string& path);
// Options that let ffmpeg read nothing but local files of the clip containers.
inline constexpr const char* kClipFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi";

// The user's text for a child that did not succeed; `program` is "ffmpeg" or "ffprobe".
std::string childFailureText(const ChildResult& result, const char* program);

// "0:05", "1:02:03": the duration as a player shows it (whole seconds, rounded, at least one
// for a clip that has any length).
std::string clipDurationText(double seconds);
// "5 seconds", "1 minute 2 seconds": the same for a screen reader.
std::string clipDurationWords(double seconds);

}  // namespace glim
