#include "web_clip.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "album_generation.h"
#include "termination.h"

namespace glim {

MessageBox clipOpenErrorBox(const std::string& path) {
  MessageBox box = pictureOpenErrorBox(path);
  ClipFacts facts;
  std::string error;
  if (!probeClip(path, facts, error)) box.text += " - " + error;
  return box;
}

WebClipPlan webClipPlan(const ClipFacts& facts) {
  WebClipPlan plan;
  // "At most 1080 lines": the shorter side, so that a phone's upright clip counts as 1080p.
  const bool small = std::min(facts.width, facts.height) <= kWebClipLines;
  plan.copyVideo = small && facts.videoCodec == "h264" &&
                   (facts.pixelFormat == "yuv420p" || facts.pixelFormat == "yuvj420p");
  plan.copyAudio = facts.audioCodec.empty() || facts.audioCodec == "aac";
  return plan;
}

namespace {

std::vector<std::string> webClipArguments(const std::string& source, const WebClipPlan& plan,
                                          const std::string& output) {
  // clang-format off
  std::vector<std::string> arguments = {
      "ffmpeg", "-nostdin", "-v", "error", "-protocol_whitelist", "file", "-format_whitelist",
      kClipFormats, "-i", clipInputArgument(source), "-map", "0:v:0", "-map", "0:a:0?", "-sn",
      "-dn"};
  // clang-format on
  if (plan.copyVideo) {
    arguments.insert(arguments.end(), {"-c:v", "copy"});
  } else {
    // The rotation is applied while decoding; the shorter side is scaled to at most 1080, and
    // both sides to even numbers, as 4:2:0 needs.
    const std::string lines = std::to_string(kWebClipLines);
    arguments.insert(arguments.end(),
                     {"-c:v", "libx264", "-preset", kWebClipPreset, "-x264-params", kWebClipTuning,
                      "-crf", kWebClipQuality, "-pix_fmt", "yuv420p", "-vf",
                      "scale=w='if(gt(iw,ih),-2,trunc(min(" + lines +
                          ",iw)/2)*2)':h='if(gt(iw,ih),trunc(min(" + lines + ",ih)/2)*2,-2)'"});
  }
  if (plan.copyAudio) {
    arguments.insert(arguments.end(), {"-c:a", "copy"});
  } else {
    arguments.insert(arguments.end(), {"-c:a", "aac", "-b:a", "128k"});
  }
  // No location, device or creation time leaves with the clip: neither the file's metadata
  // nor its streams', nor chapters.
  arguments.insert(arguments.end(),
                   {"-map_metadata", "-1", "-map_metadata:s:v", "-1", "-map_metadata:s:a", "-1",
                    "-map_chapters", "-1", "-movflags", "+faststart", "-f", "mp4", "-y", output});
  return arguments;
}

}  // namespace

bool writeWebClip(const std::string& source, const ClipFacts& facts, const std::string& folder,
                  TemporaryFile& clip, std::string& error) {
  TemporaryFolder work;
  if (!clip.create(folder) || !work.create(folder)) {
    error = std::string("The clip cannot be written: ") +
            std::strerror(clip.error() != 0 ? clip.error() : work.error()) + ".";
    clip.discard();
    return false;
  }
  // Encoding takes about real time at worst on a slow machine; copying far less.
  const auto limit = std::chrono::seconds(120) +
                     std::chrono::seconds(static_cast<long>(std::min(facts.seconds, 1e6)) * 4);
  WebClipPlan plan = webClipPlan(facts);
  ChildResult result = runChild(webClipArguments(source, plan, work.filePath()), limit, 64 << 10,
                                terminationRequested);
  // A stream that the MP4 file cannot take as it stands (timestamps of an AVI file, say) is
  // encoded after all.
  if (result.end == ChildEnd::Exited && !result.succeeded() && (plan.copyVideo || plan.copyAudio)) {
    plan = {};
    result = runChild(webClipArguments(source, plan, work.filePath()), limit, 64 << 10,
                      terminationRequested);
  }
  if (!result.succeeded()) {
    error = childFailureText(result, "ffmpeg");
    clip.discard();
    return false;
  }
  if (!clip.replaceWith(work.filePath())) {
    error = std::string("The clip cannot be written: ") + std::strerror(clip.error()) + ".";
    clip.discard();
    return false;
  }
  return true;
}

}  // namespace glim
