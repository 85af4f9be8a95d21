#include "modern_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "umlauts.h"
#include "video_clip.h"

namespace glim {
namespace {

// Windows-1252's letters in 0x80..0x9F (0 where the code page has none; those bytes are taken
// as the Latin-1 control characters of the same number, as browsers do).
constexpr uint16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string utf8Text(std::string_view text) {
  if (isValidUtf8(text)) return std::string(text);
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const uint16_t mapped = byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : 0;
    appendUtf8(out, mapped != 0 ? mapped : byte);
  }
  return out;
}

// The picture's own name: the file-name part of its path.
std::string pictureName(const PictureEntry& entry) {
  const std::string& path = entry.FilePath;
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool commentShown(const PictureEntry& entry) {
  return entry.ShowFlag && !entry.commentText().empty();
}

std::string altText(const PictureEntry& entry) {
  return escapedText(commentShown(entry) ? entry.commentText() : pictureName(entry));
}

std::string colourText(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16 & 0xFF);
  return text;
}

// Black or white, whichever stands out more against the background (WCAG luminance).
bool darkBackground(uint32_t rgb) {
  const auto linear = [](uint32_t channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const double luminance = 0.2126 * linear(rgb & 0xFF) + 0.7152 * linear(rgb >> 8 & 0xFF) +
                           0.0722 * linear(rgb >> 16 & 0xFF);
  return (1.05 / (luminance + 0.05)) > ((luminance + 0.05) / 0.05);
}

// The candidates of a detail picture, as `srcset` values under `folder` ("../pics/"), and the
// `sizes` that matches the style sheet's rule for its box.
struct Candidates {
  std::string avif;  // AVIF widths, then the larger JPEG ones; empty without AVIF files
  std::string jpeg;  // the JPEG widths, and the full-size picture when it is the largest
  std::string sizes;
  std::string fallback;  // the img's src
};

Candidates candidatesOf(const PictureEntry& entry, const ModernEntry& file, int32_t border,
                        const std::string& folder) {
  Candidates out;
  const std::string original = folder + percentEncoded(entry.PicsName);
  out.fallback = original;
  const auto add = [](std::string& list, const std::string& name, int32_t width) {
    list += (list.empty() ? "" : ", ") + name + " " + std::to_string(width) + "w";
  };
  bool anyAvif = false;
  for (const ModernEntry::Sized& step : file.sized) {
    const std::string jpeg = folder + percentEncoded(step.jpeg);
    add(out.jpeg, jpeg, step.width);
    if (!step.avif.empty()) {
      add(out.avif, folder + percentEncoded(step.avif), step.width);
      anyAvif = true;
    } else {
      add(out.avif, jpeg, step.width);
    }
    if (step.width <= 1080) out.fallback = jpeg;
  }
  if (file.sized.empty()) return out;
  // The full-size picture tops the list when the ladder stops below its largest width.
  if (file.sized.back().width < kLadderWidths[std::size(kLadderWidths) - 1]) {
    add(out.jpeg, original, file.pictureWidth);
    add(out.avif, original, file.pictureWidth);
  }
  if (!anyAvif) out.avif.clear();
  // As the style sheet's box: the window's width less the page's padding and the border, at
  // most 85 % of its height in the picture's proportions, never beyond the picture's width.
  out.sizes = "min(calc(100vw - " + std::to_string(24 + 2 * border) + "px), calc(85vh * " +
              std::to_string(file.pictureWidth) + " / " + std::to_string(file.pictureHeight) +
              "), " + std::to_string(file.pictureWidth) + "px)";
  return out;
}

// The inline style of a picture's box: its proportions for the style sheet and its placeholder.
std::string boxStyle(const ModernEntry& file, int32_t width, int32_t height) {
  std::string style = " style=\"--width: " + std::to_string(width) +
                      "px; --ratio: " + std::to_string(width) + " / " + std::to_string(height);
  if (!file.placeholder.empty()) style += "; background-image: url(" + file.placeholder + ")";
  return style + "\"";
}

// A clip played on its page: its box reserved like a picture's, its poster the picture at the
// width the page shows first, and nothing fetched before the visitor plays it.
std::string clipMarkup(const PictureEntry& entry, const ModernEntry& file,
                       const std::string& poster) {
  const std::string clip = "../pics/" + percentEncoded(file.clipName);
  return "<video controls preload=\"none\" playsinline poster=\"" + poster + "\" width=\"" +
         std::to_string(file.pictureWidth) + "\" height=\"" + std::to_string(file.pictureHeight) +
         "\" aria-label=\"" + altText(entry) + ", video clip of " +
         clipDurationWords(file.clipSeconds) + "\"" +
         boxStyle(file, file.pictureWidth, file.pictureHeight) + ">\n<source src=\"" + clip +
         "\" type=\"video/mp4\">\n<a href=\"" + clip + "\">Video clip, " +
         clipDurationText(file.clipSeconds) + "</a>\n</video>\n";
}

void writeHead(std::string& page, std::string_view language, const std::string& title,
               std::string_view styleSheet) {
  page += "<!DOCTYPE html>\n<html lang=\"";
  page += escapedText(language);
  page +=
      "\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  page += title;
  page += "</title>\n<link rel=\"stylesheet\" href=\"";
  page += styleSheet;
  page += "\">\n</head>\n";
}

// The detail pages' script: keys, swipes, the slideshow and fetching the next picture ahead.
// Without it the page reads the same, and its links lead on.
constexpr std::string_view kDetailScript = R"((function () {
  var links = {prior: document.getElementById("prior"), next: document.getElementById("next"),
               overview: document.getElementById("overview")};
  var button = document.getElementById("slideshow");
  var timer = 0;
  function go(id) {
    if (links[id]) location.href = links[id].href;
  }
  function remember(on) {
    try {
      if (on) sessionStorage.setItem("slideshow", "on"); else sessionStorage.removeItem("slideshow");
    } catch (e) {}
  }
  // Runs on to the next page every 4 seconds; stops at the last picture.
  function slideshow(on) {
    clearTimeout(timer);
    timer = 0;
    on = on && !!links.next;
    remember(on);
    if (on) timer = setTimeout(function () { go("next"); }, 4000);
    button.setAttribute("aria-pressed", on ? "true" : "false");
  }
  button.hidden = false;
  button.addEventListener("click", function () { slideshow(!timer); });
  links.overview.addEventListener("click", function () { slideshow(false); });
  document.addEventListener("keydown", function (event) {
    if (event.altKey || event.ctrlKey || event.metaKey || event.shiftKey) return;
    if (event.key === " " && timer && event.target !== button) {
      event.preventDefault();
      slideshow(false);
      return;
    }
    var target = {ArrowLeft: "prior", ArrowRight: "next", Escape: "overview"}[event.key];
    if (target === "overview") slideshow(false);
    if (target) go(target);
  });
  // A sideways swipe on the picture; a vertical move scrolls the page and is not a swipe.
  var figure = document.querySelector("figure");
  var start = null;
  figure.addEventListener("pointerdown", function (event) {
    start = event.pointerType === "mouse" ? null : {x: event.clientX, y: event.clientY};
  });
  figure.addEventListener("pointercancel", function () { start = null; });
  figure.addEventListener("pointerup", function (event) {
    if (!start) return;
    var dx = event.clientX - start.x, dy = event.clientY - start.y;
    start = null;
    if (Math.abs(dx) > 48 && Math.abs(dx) > 2 * Math.abs(dy)) go(dx < 0 ? "next" : "prior");
  });
  try {
    if (sessionStorage.getItem("slideshow") === "on") {
      slideshow(true);
      button.focus();
    }
  } catch (e) {}
  // Once this page is there, the next page's picture at the width this window takes.
  addEventListener("load", function () {
    var next = links.next;
    if (!next || !next.dataset.srcset) return;
    var picture = document.createElement("picture");
    if (next.dataset.avif) {
      var source = document.createElement("source");
      source.type = "image/avif";
      source.sizes = next.dataset.sizes;
      source.srcset = next.dataset.avif;
      picture.appendChild(source);
    }
    var img = document.createElement("img");
    img.fetchPriority = "low";
    img.alt = "";
    picture.appendChild(img);
    img.sizes = next.dataset.sizes;
    img.srcset = next.dataset.srcset;
    window.nextPicture = img;
  });
})();
)";

}  // namespace

std::string pageLanguage(std::string_view locale) {
  // language[_territory][.codeset][@modifier]: a language of 2 or 3 letters and a territory of
  // 2 letters or 3 digits make a tag; anything else ("C", "POSIX", "UTF-8") gives English.
  locale = locale.substr(0, locale.find_first_of(".@"));
  const std::string_view language = locale.substr(0, locale.find_first_of("_-"));
  const std::string_view territory =
      language.size() < locale.size() ? locale.substr(language.size() + 1) : std::string_view();
  const auto all = [](std::string_view text, auto test) {
    return std::all_of(text.begin(), text.end(), [&](char c) { return test(c); });
  };
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (language.size() < 2 || language.size() > 3 || !all(language, letter)) return "en";
  if (territory.empty()) return std::string(language);
  if ((territory.size() == 2 && all(territory, letter)) ||
      (territory.size() == 3 && all(territory, digit))) {
    return std::string(language) + "-" + std::string(territory);
  }
  return "en";  // not a language's locale
}

std::string pageLanguageOfUser() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return pageLanguage(value);
  }
  return "en";
}

std::string styleSheetBase(std::string_view overviewName) {
  const size_t dot = overviewName.find_last_of('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? overviewName
                                                               : overviewName.substr(0, dot));
}

std::string percentEncoded(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string escapedText(std::string_view albumText) {
  const std::string text = utf8Text(albumText);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // Control characters have no place in a page: C0 but tab and line ends, DEL, and C1
    // (U+0080..U+009F, two bytes in UTF-8).
    if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) continue;
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      ++i;
      continue;
    }
    switch (byte) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += text[i];
    }
  }
  return out;
}

std::vector<std::size_t> shownEntries(std::span<const ModernEntry> files) {
  std::vector<std::size_t> shown;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].complete) shown.push_back(i);
  }
  return shown;
}

std::string modernOverviewText(const AlbumSettings& input, std::span<const PictureEntry> entries,
                               std::span<const ModernEntry> files, std::string_view overviewName,
                               std::string_view styleSheet, std::string_view language) {
  AlbumSettings settings = input;
  settings.clampAll();
  const std::string caption = escapedText(settings.caption);
  std::string page;
  writeHead(page, language, caption.empty() ? escapedText(overviewName) : caption,
            percentEncoded(styleSheet));
  page += "<body>\n<main>\n";
  if (!caption.empty()) page += "<h1>" + caption + "</h1>\n";
  if (!settings.freeText.empty()) page += "<p>" + escapedText(settings.freeText) + "</p>\n";
  const std::vector<std::size_t> shown = shownEntries(files);
  // Thumbnails as links in one block: a browser lays them out in rows by the style sheet, and
  // a reader without style sheets (the window's result page) still flows them in rows.
  if (!shown.empty()) page += "<div class=\"thumbs\">\n";
  for (std::size_t n = 0; n < shown.size(); ++n) {
    const PictureEntry& entry = entries[shown[n]];
    const ModernEntry& file = files[shown[n]];
    const std::string mini = "mini/" + percentEncoded(entry.MiniName);
    page += "<a href=\"html/" + percentEncoded(entry.PageName) + "\"><img" +
            boxStyle(file, file.thumbWidth, file.thumbHeight) + " src=\"" + mini + "\"";
    if (!file.mini2Name.empty()) {
      page += " srcset=\"" + mini + " 1x, mini/" + percentEncoded(file.mini2Name) + " 2x\"";
    }
    page += " width=\"" + std::to_string(file.thumbWidth) + "\" height=\"" +
            std::to_string(file.thumbHeight) + "\" alt=\"" + altText(entry) + "\"";
    // The first row shows at once; the rest load as they come near the view.
    if (n >= static_cast<std::size_t>(settings.perLine)) page += " loading=\"lazy\"";
    page += ">";
    // A clip's thumbnail carries a play sign and its length, which a screen reader says too.
    if (!file.clipName.empty()) {
      page +=
          "<span class=\"clip\"><span aria-hidden=\"true\">\xE2\x96\xB6 </span>"
          "<span class=\"unseen\">Video clip, </span>" +
          clipDurationText(file.clipSeconds) + "</span>";
    }
    page += "</a>\n";
  }
  if (!shown.empty()) page += "</div>\n";
  page += "</main>\n</body>\n</html>\n";
  return page;
}

std::string modernDetailText(const AlbumSettings& input, std::span<const PictureEntry> entries,
                             std::span<const ModernEntry> files, std::span<const std::size_t> shown,
                             std::size_t index, std::string_view overviewName,
                             std::string_view styleSheet, std::string_view language) {
  AlbumSettings settings = input;
  settings.clampAll();
  const PictureEntry& entry = entries[index];
  const ModernEntry& file = files[index];
  const std::string caption = escapedText(settings.detailCaption);
  const std::string name = escapedText(pictureName(entry));
  std::string page;
  writeHead(page, language, caption.empty() ? name : caption + " \xE2\x80\x93 " + name,
            "../" + percentEncoded(styleSheet));
  page += "<body class=\"detail\">\n<main>\n";
  if (!caption.empty()) page += "<h1>" + caption + "</h1>\n";
  // The picture's box is reserved before its bytes arrive, shows the placeholder meanwhile, and
  // is fetched first of all; the browser takes the width this window needs.
  const Candidates pictures = candidatesOf(entry, file, settings.detailBorderWidth, "../pics/");
  if (!file.clipName.empty()) {
    page += "<figure>\n" + clipMarkup(entry, file, pictures.fallback);
  } else {
    page += "<figure>\n<picture>\n";
    if (!pictures.avif.empty()) {
      page += "<source type=\"image/avif\" srcset=\"" + pictures.avif + "\" sizes=\"" +
              pictures.sizes + "\">\n";
    }
    page += "<img src=\"" + pictures.fallback + "\"";
    if (!pictures.jpeg.empty()) {
      page += " srcset=\"" + pictures.jpeg + "\" sizes=\"" + pictures.sizes + "\"";
    }
    page += " width=\"" + std::to_string(file.pictureWidth) + "\" height=\"" +
            std::to_string(file.pictureHeight) + "\" alt=\"" + altText(entry) +
            "\" fetchpriority=\"high\"" + boxStyle(file, file.pictureWidth, file.pictureHeight) +
            ">\n</picture>\n";
  }
  if (commentShown(entry)) {
    page += "<figcaption>" + escapedText(entry.commentText()) + "</figcaption>\n";
  }
  page += "</figure>\n";
  if (!file.facts.taken.empty() || !file.facts.camera.empty()) {
    page += "<dl class=\"facts\">\n";
    if (!file.facts.taken.empty()) {
      page += "<dt>Taken</dt><dd>" + escapedText(file.facts.taken) + "</dd>\n";
    }
    if (!file.facts.camera.empty()) {
      page += "<dt>Camera</dt><dd>" + escapedText(file.facts.camera) + "</dd>\n";
    }
    page += "</dl>\n";
  }
  if (!file.clipName.empty()) {
    page += "<p class=\"original\"><a href=\"../pics/" + percentEncoded(file.clipName) +
            "\">Video clip, " + clipDurationText(file.clipSeconds) + "</a></p>\n";
  } else {
    page += "<p class=\"original\"><a href=\"../pics/" + percentEncoded(entry.PicsName) +
            "\">Original, " + std::to_string(file.pictureWidth) + " \xC3\x97 " +
            std::to_string(file.pictureHeight) + "</a></p>\n";
  }
  page += "</main>\n<nav>\n";
  const auto at = std::find(shown.begin(), shown.end(), index);
  if (at != shown.end() && at != shown.begin()) {
    page += "<a id=\"prior\" rel=\"prev\" href=\"" + percentEncoded(entries[*(at - 1)].PageName) +
            "\">Prior picture</a>\n";
  }
  if (at != shown.end() && at + 1 != shown.end()) {
    // What the next page's picture is at each width, for fetching it ahead.
    const Candidates next =
        candidatesOf(entries[*(at + 1)], files[*(at + 1)], settings.detailBorderWidth, "../pics/");
    page +=
        "<a id=\"next\" rel=\"next\" href=\"" + percentEncoded(entries[*(at + 1)].PageName) + "\"";
    if (!next.jpeg.empty()) {
      page += " data-srcset=\"" + next.jpeg + "\" data-avif=\"" + next.avif + "\" data-sizes=\"" +
              next.sizes + "\"";
    }
    page += ">Next picture</a>\n";
  }
  page += "<a id=\"overview\" href=\"../" + percentEncoded(overviewName) +
          "\">Back to overview</a>\n"
          "<button type=\"button\" id=\"slideshow\" aria-pressed=\"false\" hidden>Slideshow"
          "</button>\n</nav>\n<script>\n";
  page += kDetailScript;
  page += "</script>\n</body>\n</html>\n";
  return page;
}

std::string modernStyleSheet(const AlbumSettings& input) {
  AlbumSettings settings = input;
  settings.clampAll();
  const std::string text = darkBackground(settings.backgroundColor) ? "#FFFFFF" : "#000000";
  const int cell = settings.thumbWidth + 2 * settings.borderWidth;
  const int gap = 12;
  std::string css(kStyleSheetFirstLine);
  css += "\n";
  // Long words (a name, a comment without spaces) break anywhere rather than widen the page.
  css += "body { margin: 0; background: " + colourText(settings.backgroundColor) +
         "; color: " + text +
         "; font-family: system-ui, sans-serif; line-height: 1.4; overflow-wrap: anywhere; }\n";
  css += "a { color: inherit; }\n";
  css += "main, nav { box-sizing: border-box; margin: 0 auto; padding: 0 12px; max-width: " +
         std::to_string(settings.perLine * cell + (settings.perLine - 1) * gap + 24) + "px; }\n";
  css += "h1 { font-size: 1.6rem; margin: 16px 0 8px; }\n";
  css += ".thumbs { margin: 16px 0; display: flex; flex-wrap: wrap; gap: " + std::to_string(gap) +
         "px; justify-content: center; }\n";
  css += ".thumbs a { flex: 0 1 " + std::to_string(cell) +
         "px; max-width: 100%; display: flex; justify-content: center; "
         "align-items: flex-start; }\n";
  // The border lies outside the picture, so that a thumbnail that fits shows at its own size.
  css += ".thumbs img { display: block; max-width: calc(100% - " +
         std::to_string(2 * settings.borderWidth) +
         "px); height: auto; border: " + std::to_string(settings.borderWidth) + "px solid " + text +
         "; }\n";
  css += ".detail main { max-width: none; text-align: center; }\n";
  css += ".detail figure { margin: 8px 0; }\n";
  // Every picture's box has its final size before its bytes arrive (its proportions and width
  // come with it, in --ratio and --width), with the placeholder stretched over it meanwhile.
  css +=
      ".thumbs img, .detail figure img, .detail figure video { aspect-ratio: var(--ratio); "
      "background-size: 100% 100%; }\n";
  // The detail picture: as wide as the window allows, at most 85 % of its height, never
  // enlarged (the detail pages' `sizes` says the same); a sideways swipe is the page's.
  css +=
      ".detail figure img, .detail figure video { box-sizing: content-box; width: min(calc(100% "
      "- " +
      std::to_string(2 * settings.detailBorderWidth) +
      "px), calc(85vh * var(--ratio)), var(--width)); height: auto; vertical-align: top; "
      "touch-action: pan-y pinch-zoom; border: " +
      std::to_string(settings.detailBorderWidth) + "px solid " + text + "; }\n";
  // A clip's mark on its thumbnail: a play sign and its length in the upper left corner.
  css += ".thumbs a { position: relative; }\n";
  css += ".thumbs .clip { position: absolute; left: " + std::to_string(settings.borderWidth + 4) +
         "px; top: " + std::to_string(settings.borderWidth + 4) +
         "px; padding: 1px 6px; border-radius: 4px; background: #000000; color: #FFFFFF; "
         "font-size: 0.8rem; }\n";
  css +=
      ".unseen { position: absolute; width: 1px; height: 1px; overflow: hidden; "
      "clip-path: inset(50%); white-space: nowrap; }\n";
  css += ".detail figcaption { white-space: pre-line; margin-top: 8px; }\n";
  css +=
      ".facts { display: inline-grid; grid-template-columns: auto auto; gap: 2px 12px; "
      "text-align: left; margin: 8px auto; }\n";
  css += ".facts dd { margin: 0; }\n";
  css += ".detail nav { text-align: center; padding: 8px 12px 24px; }\n";
  css +=
      ".detail nav a, .detail nav button { display: inline-block; margin: 4px 8px; padding: 8px; "
      "font: inherit; }\n";
  // The script shows the button once the links may already be on the screen: on a line of its
  // own below them, so that they keep their places rather than move to make room for it.
  css += ".detail nav button { display: block; margin: 4px auto; }\n";
  css += ".detail nav button[hidden] { display: none; }\n";
  return css;
}

}  // namespace glim
