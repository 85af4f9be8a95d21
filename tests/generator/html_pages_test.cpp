// Exact bytes of the overview and detail pages.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "html_writer.h"

namespace glim {
namespace {

std::string lines(std::initializer_list<std::string> text) {
  std::string out;
  for (const std::string& line : text) out += line + "\r\n";
  return out;
}

PictureEntry entry(std::string page, std::string mini, std::string pics = "") {
  PictureEntry e;
  e.PageName = std::move(page);
  e.MiniName = std::move(mini);
  e.PicsName = std::move(pics);
  return e;
}

std::vector<PictureEntry> numberedEntries(int count) {
  std::vector<PictureEntry> entries;
  for (int i = 0; i < count; ++i) {
    const std::string base = "Bild" + std::to_string(i);
    entries.push_back(entry(base + ".HTM", base + ".JPG", base + ".JPG"));
  }
  return entries;
}

const std::string kHead =
    lines({"<HTML>", "<BODY BGCOLOR=\"#C0C0C0\">", "<H1>", "Glimmervellium", "</H1>",
           "Click on a picture to see it full sized.<BR><BR>", "<TABLE BORDER=3>"});
const std::string kFoot = lines({"  </TABLE>", "</BODY>", "</HTML>"});

std::string cell(const std::string& page, const std::string& mini, int width = 90) {
  return lines({"    <TD WIDTH=\"" + std::to_string(width) + "\">", "<CENTER>",
                "        <A HREF=\"./html/" + page + "\">",
                "          <IMG SRC=\"./mini/" + mini + "\" BORDER=\"0\"><BR>", "        </A>",
                "</CENTER>", "    </TD>"});
}

const std::string kRowOpen = "  <TR>\r\n";
const std::string kRowClose = "  </TR>\r\n";

TEST(OverviewPage, OneEntryOpensARowAndClosesItOnlyWhenTheRowIsFull) {
  const std::vector<PictureEntry> one{entry("Urlaub.HTM", "Urlaub.JPG")};
  AlbumSettings settings;
  EXPECT_EQ(overviewPageText(settings, one),
            lines({"<HTML>", "<BODY BGCOLOR=\"#C0C0C0\">", "<H1>", "Glimmervellium", "</H1>",
                   "Click on a picture to see it full sized.<BR><BR>", "<TABLE BORDER=3>", "  <TR>",
                   "    <TD WIDTH=\"90\">", "<CENTER>", "        <A HREF=\"./html/Urlaub.HTM\">",
                   "          <IMG SRC=\"./mini/Urlaub.JPG\" BORDER=\"0\"><BR>", "        </A>",
                   "</CENTER>", "    </TD>", "  </TABLE>", "</BODY>", "</HTML>"}));

  settings.perLine = 1;
  EXPECT_EQ(overviewPageText(settings, one),
            kHead + kRowOpen + cell("Urlaub.HTM", "Urlaub.JPG") + kRowClose + kFoot);
}

TEST(OverviewPage, RowsAtFivePerLine) {
  const AlbumSettings settings;
  std::string seven = kHead;
  std::string ten = kHead;
  const auto entries = numberedEntries(10);
  for (int i = 0; i < 10; ++i) {
    const std::string c = cell(entries[i].PageName, entries[i].MiniName);
    const std::string open = i % 5 == 0 ? kRowOpen : "";
    const std::string close = i % 5 == 4 ? kRowClose : "";
    if (i < 7) seven += open + c + close;
    ten += open + c + close;
  }
  const std::string sevenText = overviewPageText(settings, std::span(entries).first(7));
  EXPECT_EQ(sevenText, seven + kFoot);
  EXPECT_EQ(overviewPageText(settings, entries), ten + kFoot);

  // The unfinished second row of seven is opened but never closed.
  std::size_t opened = 0, closed = 0;
  for (std::size_t at = 0; (at = sevenText.find(kRowOpen, at)) != std::string::npos; ++at) ++opened;
  for (std::size_t at = 0; (at = sevenText.find(kRowClose, at)) != std::string::npos; ++at)
    ++closed;
  EXPECT_EQ(opened, 2u);
  EXPECT_EQ(closed, 1u);
}

TEST(OverviewPage, EmptyAlbumHasATableWithoutRows) {
  EXPECT_EQ(overviewPageText(AlbumSettings{}, {}), kHead + kFoot);
}

TEST(OverviewPage, SettingsBecomeText) {
  AlbumSettings settings;
  settings.caption = "";
  settings.freeText = "";
  settings.backgroundColor = rgbColor(255, 128, 0);
  settings.borderWidth = 0;
  settings.thumbWidth = 1000;
  settings.perLine = 50;
  const std::vector<PictureEntry> one{entry("A.HTM", "A.JPG")};
  EXPECT_EQ(overviewPageText(settings, one), lines({"<HTML>", "<BODY BGCOLOR=\"#FF8000\">", "<H1>",
                                                    "", "</H1>", "<BR><BR>", "<TABLE BORDER=0>"}) +
                                                 kRowOpen + cell("A.HTM", "A.JPG", 1000) + kFoot);
}

TEST(OverviewPage, OutOfRangeSettingsAreBroughtIntoRange) {
  AlbumSettings settings;
  settings.perLine = 0;  // would divide by zero
  settings.borderWidth = -4;
  settings.thumbWidth = 5000;
  settings.backgroundColor = 0xFF00C0C0u;
  const auto two = numberedEntries(2);
  EXPECT_EQ(overviewPageText(settings, two),
            lines({"<HTML>", "<BODY BGCOLOR=\"#C0C000\">", "<H1>", "Glimmervellium", "</H1>",
                   "Click on a picture to see it full sized.<BR><BR>", "<TABLE BORDER=0>"}) +
                kRowOpen + cell("Bild0.HTM", "Bild0.JPG", 1000) + kRowClose + kRowOpen +
                cell("Bild1.HTM", "Bild1.JPG", 1000) + kRowClose + kFoot);
}

TEST(OverviewPage, CaptionAndFreeTextConvertUmlautsAndKeepMarkup) {
  AlbumSettings settings;
  settings.caption =
      "Gr\xC3\xBC\xC3\x9F"
      "e <B>fett</B>";
  settings.freeText = "\xC3\x84pfel & <I>\xC3\x96l</I>";
  EXPECT_EQ(overviewPageText(settings, {}),
            lines({"<HTML>", "<BODY BGCOLOR=\"#C0C0C0\">", "<H1>", "Gr&uuml;&szlig;e <B>fett</B>",
                   "</H1>", "&Auml;pfel & <I>&Ouml;l</I><BR><BR>", "<TABLE BORDER=3>"}) +
                kFoot);
}

TEST(OverviewPage, FailedEntryKeepsItsCellWithAnEmptyThumbnailName) {
  const std::vector<PictureEntry> entries{entry("Kaputt.HTM", "")};
  EXPECT_EQ(overviewPageText(AlbumSettings{}, entries),
            kHead + kRowOpen + cell("Kaputt.HTM", "") + kFoot);
  EXPECT_NE(overviewPageText(AlbumSettings{}, entries).find("<IMG SRC=\"./mini/\" BORDER"),
            std::string::npos);
}

TEST(OverviewPage, NamesWithSpacesStayAsTheyAre) {
  const std::vector<PictureEntry> entries{entry("Mein Urlaub 2.HTM", "Mein Urlaub 2.JPG")};
  EXPECT_EQ(overviewPageText(AlbumSettings{}, entries),
            kHead + kRowOpen + cell("Mein Urlaub 2.HTM", "Mein Urlaub 2.JPG") + kFoot);
}

TEST(OverviewPage, NamesThatWouldBreakTheLinkArePercentEncoded) {
  const std::vector<PictureEntry> entries{entry("50% \"x\" #1?&copy.HTM", "a\\b\tc.JPG"),
                                          entry("Gr\xC3\xBC\xC3\x9F"
                                                "e.HTM",
                                                "K\xE4se.JPG")};
  const std::string text = overviewPageText(AlbumSettings{}, entries);
  EXPECT_EQ(text, kHead + kRowOpen + cell("50%25 %22x%22 %231%3F%26copy.HTM", "a%5Cb%09c.JPG") +
                      cell("Gr%C3%BC%C3%9Fe.HTM", "K%E4se.JPG") + kFoot);
}

// Detail pages ----------------------------------------------------------------------------

std::string detailHead(const std::string& color = "C0C0C0") {
  return lines({"<HTML>", "<BODY BGCOLOR=\"#" + color + "\">", "<H1>", "Glimmervellium", "</H1>"});
}

std::string detailBody(const std::string& pics, const std::string& navigation, int border = 3) {
  return lines({"<BR>", "<CENTER>", "  <TABLE BORDER=\"" + std::to_string(border) + "\">",
                "    <TR><TD><IMG SRC=\"../pics/" + pics + "\"></TD></TR>", "  </TABLE>",
                "</CENTER>", navigation, "</BODY>", "</HTML>"});
}

const std::string kBack = "[<A HREF=\"../index.htm\">Back to overview</A>]";

TEST(DetailPage, NavigationLineInItsFourCases) {
  auto entries = numberedEntries(3);
  for (auto& e : entries) e.ShowFlag = false;
  const AlbumSettings settings;

  EXPECT_EQ(detailPageText(settings, std::span(entries).first(1), 0, "index.htm"),
            detailHead() + detailBody("Bild0.JPG", kBack));
  EXPECT_EQ(
      detailPageText(settings, entries, 0, "index.htm"),
      detailHead() + detailBody("Bild0.JPG", "[<A HREF=\"Bild1.HTM\">Next picture</A>]" + kBack));
  EXPECT_EQ(detailPageText(settings, entries, 1, "index.htm"),
            detailHead() + detailBody("Bild1.JPG",
                                      "[<A HREF=\"Bild0.HTM\">Prior picture</A>]"
                                      "[<A HREF=\"Bild2.HTM\">Next picture</A>]" +
                                          kBack));
  EXPECT_EQ(
      detailPageText(settings, entries, 2, "index.htm"),
      detailHead() + detailBody("Bild2.JPG", "[<A HREF=\"Bild1.HTM\">Prior picture</A>]" + kBack));
  EXPECT_THROW(detailPageText(settings, entries, 3, "index.htm"), std::out_of_range);
}

TEST(DetailPage, CommentLineFollowsTheShowFlag) {
  std::vector<PictureEntry> one{entry("A.HTM", "A.JPG", "A.JPG")};
  one[0].Comment = "Am <B>Strand</B>";
  AlbumSettings settings;

  one[0].ShowFlag = true;
  EXPECT_EQ(detailPageText(settings, one, 0, "index.htm"),
            detailHead() + "Am <B>Strand</B><BR>\r\n" + detailBody("A.JPG", kBack));

  // Switched off: the comment is not written and <BR> follows </H1> directly.
  one[0].ShowFlag = false;
  EXPECT_EQ(detailPageText(settings, one, 0, "index.htm"),
            detailHead() + detailBody("A.JPG", kBack));

  // On with no comment (absent or empty): a line holding only <BR>, then the <BR> line.
  one[0].ShowFlag = true;
  for (auto comment : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
    one[0].Comment = comment;
    const std::string text = detailPageText(settings, one, 0, "index.htm");
    EXPECT_EQ(text, detailHead() + "<BR>\r\n" + detailBody("A.JPG", kBack));
    EXPECT_NE(text.find("</H1>\r\n<BR>\r\n<BR>\r\n<CENTER>"), std::string::npos);
  }
}

TEST(DetailPage, CommentIsWrittenAsStoredWithItsLineBreaks) {
  std::vector<PictureEntry> one{entry("A.HTM", "A.JPG", "A.JPG")};
  AlbumSettings settings;
  settings.detailCaption = "K\xC3\xB6ln";

  // A single-byte (Western) comment is not UTF-8: its bytes are written unchanged.
  one[0].Comment = std::string(
      "Sch\xF6ne\r\nGr\xFC\xDF"
      "e\nvom <I>Rhein</I>");
  EXPECT_EQ(detailPageText(settings, one, 0, "index.htm"),
            lines({"<HTML>", "<BODY BGCOLOR=\"#C0C0C0\">", "<H1>", "K&ouml;ln", "</H1>"}) +
                "Sch\xF6ne\r\nGr\xFC\xDF"
                "e\nvom <I>Rhein</I><BR>\r\n" +
                detailBody("A.JPG", kBack));

  // A UTF-8 comment is written unchanged too, and the page starts with a byte order mark
  // so that a browser reads it as UTF-8.
  one[0].Comment =
      "Sch\xC3\xB6ne\nGr\xC3\xBC\xC3\x9F"
      "e";
  EXPECT_EQ(detailPageText(settings, one, 0, "index.htm"),
            "\xEF\xBB\xBF" +
                lines({"<HTML>", "<BODY BGCOLOR=\"#C0C0C0\">", "<H1>", "K&ouml;ln", "</H1>"}) +
                "Sch\xC3\xB6ne\nGr\xC3\xBC\xC3\x9F"
                "e<BR>\r\n" +
                detailBody("A.JPG", kBack));
}

TEST(DetailPage, OnlyTextsBeyondTheSevenLettersMarkThePageAsUtf8) {
  AlbumSettings settings;
  // The caption's umlauts become entities, so the page stays plain ASCII.
  settings.caption =
      "Gr\xC3\xBC\xC3\x9F"
      "e";
  EXPECT_EQ(overviewPageText(settings, {}).substr(0, 6), "<HTML>");
  // Other letters stay raw: the page is marked.
  settings.caption = "Caf\xC3\xA9";
  EXPECT_EQ(overviewPageText(settings, {}).substr(0, 9), "\xEF\xBB\xBF<HTML>");
  // Names never add raw bytes.
  std::vector<PictureEntry> one{entry("\xC3\xA9.HTM", "\xC3\xA9.JPG", "\xC3\xA9.JPG")};
  one[0].ShowFlag = false;
  EXPECT_EQ(detailPageText(AlbumSettings{}, one, 0, "\xC3\xA9.htm").substr(0, 6), "<HTML>");
  EXPECT_EQ(overviewPageText(AlbumSettings{}, one).substr(0, 6), "<HTML>");
}

TEST(DetailPage, ColourBorderAndNamesWithSpaces) {
  std::vector<PictureEntry> two{entry("Mein Urlaub.HTM", "Mein Urlaub.JPG", "Mein Urlaub.JPG"),
                                entry("Am See.HTM", "Am See.JPG", "Am See.JPG")};
  two[1].ShowFlag = false;
  AlbumSettings settings;
  settings.backgroundColor = rgbColor(255, 128, 0);
  settings.detailBorderWidth = 10;
  EXPECT_EQ(
      detailPageText(settings, two, 1, "Mein Album.htm"),
      detailHead("FF8000") + detailBody("Am See.JPG",
                                        "[<A HREF=\"Mein Urlaub.HTM\">Prior picture</A>]"
                                        "[<A HREF=\"../Mein Album.htm\">Back to overview</A>]",
                                        10));
}

TEST(DetailPage, NeighbourLinksWithoutAFolderAreNotTakenForASchemeOrTrimmed) {
  std::vector<PictureEntry> three{entry("mailto:x.HTM", "", ""), entry("B.HTM", "", ""),
                                  entry(" Anfang.HTM", "", "")};
  three[1].ShowFlag = false;
  EXPECT_EQ(detailPageText(AlbumSettings{}, three, 1, "a:b.htm"),
            detailHead() + detailBody("",
                                      "[<A HREF=\"mailto%3Ax.HTM\">Prior picture</A>]"
                                      "[<A HREF=\"%20Anfang.HTM\">Next picture</A>]"
                                      "[<A HREF=\"../a:b.htm\">Back to overview</A>]"));
}

TEST(HtmlColorText, TwoUpperCaseDigitsRedGreenBlue) {
  EXPECT_EQ(htmlColorText(kSilver), "C0C0C0");
  EXPECT_EQ(htmlColorText(rgbColor(255, 128, 0)), "FF8000");
  EXPECT_EQ(htmlColorText(rgbColor(0, 0, 0)), "000000");
  EXPECT_EQ(htmlColorText(rgbColor(0x0A, 0xB1, 0x2F)), "0AB12F");
  EXPECT_EQ(htmlColorText(0xFFFFFFFFu), "FFFFFF");
}

}  // namespace
}  // namespace glim
