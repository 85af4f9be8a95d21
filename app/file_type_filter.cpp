#include "file_type_filter.h"

#include <QStringList>

#include "album_text.h"
#include "video_clip.h"

namespace glim {

std::vector<FileTypeChoice> parseFileTypeFilter(std::string_view filter) {
  std::vector<FileTypeChoice> choices;
  if (filter.empty()) return choices;
  const QStringList parts = albumText(filter).split(QLatin1Char('|'));
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    if (parts[i].isEmpty() && i + 1 >= parts.size()) break;  // a trailing bar
    choices.push_back({parts[i], i + 1 < parts.size() ? parts[i + 1] : QString()});
  }
  return choices;
}

std::vector<FileTypeChoice> withClipChoices(std::vector<FileTypeChoice> choices) {
  const QString clips = QString::fromLatin1(kClipPatterns);
  const QString pictures = choices.empty() ? QString() : choices.front().mask;
  choices.push_back({QStringLiteral("Video clips (") + clips + QLatin1Char(')'), clips});
  choices.push_back({QStringLiteral("Pictures and video clips"),
                     pictures.isEmpty() ? clips : pictures + QLatin1Char(';') + clips});
  return choices;
}

QString currentFileMask(const std::vector<FileTypeChoice>& choices, int selected) {
  if (choices.empty()) return QStringLiteral("*.*");
  if (selected < 0 || static_cast<std::size_t>(selected) >= choices.size()) {
    return choices.back().mask;
  }
  return choices[static_cast<std::size_t>(selected)].mask;
}

}  // namespace glim
