// The maker's texts and web addresses, shown in the main window's bottom strip and the about box.
#pragma once

namespace glim::maker {

inline constexpr const char* kHomePageAddress = "https://www.tulbrin.example/";
inline constexpr const char* kHomePageCaption = "tulbrin.example";
inline constexpr const char* kWebSiteAddress = "https://www.tulbrin.example/glimmervellium/";
inline constexpr const char* kWebSiteCaption = "www.tulbrin.example";

inline constexpr const char* kProductName = "Glimmervellium 1.0";
// The year label; the first "XXXX" becomes the current year when the about box opens.
inline constexpr const char* kCopyright = "Copyright \u00a9 XXXX Tulbrin Bildwerkstatt";
inline constexpr const char* kComments = "Turns your pictures into an album of web pages.";
inline constexpr const char* kLabel1 = "Tulbrin Bildwerkstatt";
inline constexpr const char* kLabel2 = "Free for private use.";
inline constexpr const char* kLabel3 =
    "Ideas, questions and reports of faults are welcome on our web site. Thank you for "
    "using Glimmervellium!";

}  // namespace glim::maker
