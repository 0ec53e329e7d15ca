// The resource data itself: template styles and fonts, the icon's pixels as described (sizes,
// 16-colour palette, transparent margins, the picture's parts), and the version block.
#include "ui/resources.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ui/resource.h"

namespace {

const AfxDialogTemplate* Dialog(UINT id) {
  for (const AfxDialogTemplate& t : OrLexmonResources().dialogs) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

TEST(Resources, DialogTemplatesCarryTheirStylesFontsAndPlaces) {
  const AfxDialogTemplate* main = Dialog(IDD_KEYWORD_CHECK);
  const AfxDialogTemplate* about = Dialog(IDD_ABOUT);
  ASSERT_NE(main, nullptr);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(main->extended);
  EXPECT_FALSE(about->extended);
  EXPECT_EQ(main->style,
            WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
  EXPECT_EQ(main->exStyle, WS_EX_APPWINDOW);
  EXPECT_EQ(about->style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
  for (const AfxDialogTemplate* t : {main, about}) {
    EXPECT_EQ(t->language, 0x0411);
    EXPECT_EQ(t->x, 0);
    EXPECT_EQ(t->y, 0);
    EXPECT_STREQ(t->fontName, "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");
    EXPECT_EQ(t->pointSize, 9);
  }
  EXPECT_EQ(main->charset, 1);
  EXPECT_EQ(main->menu, IDR_MAIN_MENU);
  EXPECT_EQ(about->menu, 0u);
  for (const AfxDialogItem& item : main->items) {
    const DWORD common = WS_CHILD | WS_VISIBLE;
    if (item.kind == AfxControlKind::kEdit) {
      EXPECT_EQ(item.style, common | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL);
    } else {
      EXPECT_EQ(item.style, common | WS_GROUP | SS_LEFT);
      EXPECT_EQ(item.id, IDC_STATIC);
    }
  }
  ASSERT_EQ(about->items.size(), 4u);
  EXPECT_EQ(about->items[1].style & SS_NOPREFIX, SS_NOPREFIX);
  EXPECT_EQ(about->items[3].style & BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON);
}

// The rows of an XPM image after its header and colours, and its colour table.
struct Xpm {
  int width = 0, height = 0, colours = 0, chars = 0;  // header
  std::vector<std::pair<char, std::string>> palette;  // character, colour
  std::vector<std::string> rows;                      // pixels
};

Xpm Parse(const AfxIconImage& image) {
  Xpm x;
  std::istringstream(image.xpm[0]) >> x.width >> x.height >> x.colours >> x.chars;
  for (int i = 0; i < x.colours; ++i) {
    const std::string line = image.xpm[1 + static_cast<size_t>(i)];
    x.palette.emplace_back(line[0], line.substr(line.rfind(' ') + 1));
  }
  for (size_t r = 1 + static_cast<size_t>(x.colours); r < image.xpm.size(); ++r) {
    x.rows.emplace_back(image.xpm[r]);
  }
  return x;
}

TEST(Resources, IconIsASmallWindowIn16ColoursTransparentOutsideTheFrame) {
  ASSERT_EQ(OrLexmonResources().icons.size(), 1u);
  const AfxIconResource& icon = OrLexmonResources().icons[0];
  EXPECT_EQ(icon.id, IDI_APP);
  ASSERT_EQ(icon.images.size(), 2u);
  const std::set<std::string> standard = {
      "#000000", "#800000", "#008000", "#808000", "#000080", "#800080", "#008080", "#C0C0C0",
      "#808080", "#FF0000", "#00FF00", "#FFFF00", "#0000FF", "#FF00FF", "#00FFFF", "#FFFFFF"};
  const int sizes[] = {32, 16};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(sizes[i]);
    const Xpm x = Parse(icon.images[i]);
    EXPECT_EQ(icon.images[i].size, sizes[i]);
    ASSERT_EQ(x.width, sizes[i]);
    ASSERT_EQ(x.height, sizes[i]);
    ASSERT_EQ(x.chars, 1);
    char transparent = 0, navy = 0, black = 0, white = 0, grey = 0;
    std::set<std::string> opaque;
    for (const auto& [c, colour] : x.palette) {
      if (colour == "None") {
        transparent = c;
        continue;
      }
      opaque.insert(colour);
      if (colour == "#000080") navy = c;
      if (colour == "#000000") black = c;
      if (colour == "#FFFFFF") white = c;
      if (colour == "#C0C0C0") grey = c;
    }
    EXPECT_EQ(opaque, standard);  // the 16 colours of the standard palette
    ASSERT_EQ(x.rows.size(), static_cast<size_t>(x.height));
    // Transparent: the top row, the left column, the bottom rows; the frame is opaque.
    EXPECT_EQ(x.rows[0], std::string(static_cast<size_t>(x.width), transparent));
    for (const std::string& row : x.rows) EXPECT_EQ(row[0], transparent);
    EXPECT_EQ(x.rows.back(), std::string(static_cast<size_t>(x.width), transparent));
    // The picture: a black line along the bottom edge, a navy title bar with light-grey
    // caption buttons at its right end, a white client area inside a grey frame.
    size_t blackRow = 0;
    for (size_t r = 0; r < x.rows.size(); ++r) {
      if (x.rows[r].find_first_not_of(std::string(1, black), 1) == std::string::npos) blackRow = r;
    }
    EXPECT_GT(blackRow, static_cast<size_t>(x.height) / 2);
    for (size_t r = blackRow + 1; r < x.rows.size(); ++r) {
      EXPECT_EQ(x.rows[r].find_first_not_of(transparent), std::string::npos) << "row " << r;
    }
    const std::string& titleRow = x.rows[3];
    EXPECT_EQ(titleRow[3], navy);
    EXPECT_NE(titleRow.find(grey, static_cast<size_t>(x.width) / 2), std::string::npos);
    EXPECT_EQ(x.rows[static_cast<size_t>(x.height) / 2 + 1][static_cast<size_t>(x.width) / 2],
              white);
  }
}

TEST(Resources, VersionBlockNamesTheProgram) {
  const AfxVersionInfo* v = OrLexmonResources().version;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(std::vector<WORD>(v->fileVersion, v->fileVersion + 4),
            (std::vector<WORD>{1, 0, 3, 42}));
  EXPECT_EQ(std::vector<WORD>(v->productVersion, v->productVersion + 4),
            (std::vector<WORD>{1, 0, 3, 42}));
  EXPECT_EQ(v->fileFlagsMask, 0x3Fu);
  EXPECT_EQ(v->fileFlags, 0u);
  EXPECT_EQ(v->fileOS, VOS__WINDOWS32);
  EXPECT_EQ(v->fileType, VFT_APP);
  EXPECT_STREQ(v->block, "041104b0");
  EXPECT_EQ(v->translationLanguage, 0x0411);
  EXPECT_EQ(v->translationCodePage, 0x04B0);
  std::vector<std::string> keys;
  for (const AfxVersionString& s : v->strings) keys.emplace_back(s.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Comments", "CompanyName", "FileDescription",
                                            "FileVersion", "InternalName", "LegalCopyright",
                                            "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                                            "ProductName", "ProductVersion", "SpecialBuild"}));
  EXPECT_STREQ(v->strings[2].value, "ORLEXMON");
  EXPECT_STREQ(v->strings[3].value, "1, 0, 3, 42");
  EXPECT_STREQ(v->strings[7].value, "ORLEXMON.EXE");
  EXPECT_STREQ(v->strings[9].value, "Orvan");
}

}  // namespace
