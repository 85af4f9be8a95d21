// A video clip as the modern pages play it: an H.264/AAC MP4 with its index at the front, no
// larger than 1080 lines, with no location, device or creation metadata.
#pragma once

#include <string>

#include "temporary_file.h"
#include "user_dialogs.h"
#include "video_clip.h"

namespace glim {

// The message for a clip that could not be opened: the picture's message and why ("Video clips
// need the program ffprobe, ..."), as ffprobe tells it again.
MessageBox clipOpenErrorBox(const std::string& path);

// What the written clip's streams need: each stream is copied when a browser plays it as it
// stands, and encoded otherwise.
struct WebClipPlan {
  bool copyVideo = false;
  bool copyAudio = false;  // also true for a clip without sound
};
WebClipPlan webClipPlan(const ClipFacts& facts);

// The settings of an encoded clip: x264 at the "veryfast" preset with the quickest sub-pixel
// search (a quarter less time for about a sixth more bytes, so that a 1080p clip encodes at
// over twice real time on two cores) and quality 23, 4:2:0, the shorter side scaled down to
// 1080 where it is longer; AAC at 128 kbit/s.
inline constexpr const char* kWebClipPreset = "veryfast";
inline constexpr const char* kWebClipTuning = "subme=1";
inline constexpr const char* kWebClipQuality = "23";
inline constexpr int kWebClipLines = 1080;

// Writes the clip at `source` into `clip`, a temporary file of `folder` (created here), ready
// for its name. ffmpeg writes by name into a private folder inside `folder`, and its finished
// file replaces the temporary one. False, with a text for the user in `error`, on a failure.
bool writeWebClip(const std::string& source, const ClipFacts& facts, const std::string& folder,
                  TemporaryFile& clip, std::string& error);

}  // namespace glim
