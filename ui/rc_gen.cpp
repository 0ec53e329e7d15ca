// orlexmon_rc_gen: writes the Windows resource script of orLexmon, and its icon file, from the
// resource data in ui/resources.cpp, the data that the Qt backend shows. So the two platforms'
// resources cannot drift apart: there is one source, and the build makes the other from it.
// (The framework's tests build it over their own resource table in the same way; the build names
// the table's function with ORLEXMON_RC_RESOURCES.)
//
//   orlexmon_rc_gen OUT.rc [OUT.ico]     (OUT.ico: required when the table has an icon)
//
// Built with the build machine's own compiler and run during a Windows cross-build; windres then
// compiles OUT.rc. The script is UTF-8 (#pragma code_page(65001)); windres stores every text in
// Unicode. The icon file holds the 32x32 and 16x16 images of the XPM icon as 4-bit bitmaps with
// the standard 16-colour palette, each with its transparency mask.
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "framework/resource.h"

// The resource table to write.
#ifndef ORLEXMON_RC_RESOURCES
#define ORLEXMON_RC_RESOURCES OrLexmonResources
#endif
const AfxResourceTable& ORLEXMON_RC_RESOURCES();

namespace {

// The standard 16-colour palette, in index order, as the XPM icon names its colours.
const char* const kPalette[16] = {"#000000", "#800000", "#008000", "#808000", "#000080", "#800080",
                                  "#008080", "#C0C0C0", "#808080", "#FF0000", "#00FF00", "#FFFF00",
                                  "#0000FF", "#FF00FF", "#00FFFF", "#FFFFFF"};

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "orlexmon_rc_gen: %s\n", why.c_str());
  std::exit(1);
}

// A code-page-932 text as a quoted resource-script string in UTF-8.
std::string Quoted(const char* cp932) {
  std::string_view text = cp932 != nullptr ? cp932 : "";
  std::string utf8(text.size() * 3 + 1, '\0');
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) Fail("iconv has no CP932");
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* out = utf8.data();
  size_t outLeft = utf8.size();
  if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
    Fail("not code page 932: " + std::string(text));
  }
  iconv_close(cd);
  utf8.resize(utf8.size() - outLeft);
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"') quoted += '"';  // a quote is doubled in a resource-script string
    quoted += c;
  }
  return quoted + "\"";
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// A control's window class as the resource compiler stores the predefined ones: by their atom.
const char* ClassAtom(AfxControlKind kind) {
  switch (kind) {
    case AfxControlKind::kEdit:
      return "0x0081 /* EDIT */";
    case AfxControlKind::kStatic:
      return "0x0082 /* STATIC */";
    case AfxControlKind::kButton:
      return "0x0080 /* BUTTON */";
  }
  return "0x0082 /* STATIC */";
}

void WriteDialog(std::ostream& rc, const AfxDialogTemplate& t) {
  rc << t.id << (t.extended ? " DIALOGEX " : " DIALOG ") << t.x << ", " << t.y << ", " << t.cx
     << ", " << t.cy << "\n";
  rc << "STYLE " << Hex(t.style) << "\n";
  if (t.exStyle != 0) rc << "EXSTYLE " << Hex(t.exStyle) << "\n";
  rc << "CAPTION " << Quoted(t.caption) << "\n";
  if (t.menu != 0) rc << "MENU " << t.menu << "\n";
  rc << "FONT " << t.pointSize << ", " << Quoted(t.fontName);
  if (t.extended) rc << ", " << t.weight << ", " << (t.italic ? 1 : 0) << ", " << int{t.charset};
  rc << "\nBEGIN\n";
  for (const AfxDialogItem& item : t.items) {
    // A picture names its icon by number; other controls carry their text.
    const bool picture = item.kind == AfxControlKind::kStatic && (item.style & 0x1F) == SS_ICON;
    rc << "  CONTROL " << (picture ? std::to_string(item.icon) : Quoted(item.text)) << ", "
       << item.id << ", " << ClassAtom(item.kind) << ", " << Hex(item.style) << ", " << item.x
       << ", " << item.y << ", " << item.cx << ", " << item.cy << "\n";
  }
  rc << "END\n\n";
}

void WriteMenu(std::ostream& rc, const AfxMenuTemplate& m) {
  rc << m.id << " MENU\nBEGIN\n";
  for (const AfxMenuPopup& popup : m.popups) {
    rc << "  POPUP " << Quoted(popup.text) << "\n  BEGIN\n";
    for (const AfxMenuItem& item : popup.items) {
      rc << "    MENUITEM " << Quoted(item.text) << ", " << item.command << "\n";
    }
    rc << "  END\n";
  }
  rc << "END\n\n";
}

void WriteVersion(std::ostream& rc, const AfxVersionInfo& v) {
  auto four = [](const WORD(&w)[4]) {
    return std::to_string(w[0]) + "," + std::to_string(w[1]) + "," + std::to_string(w[2]) + "," +
           std::to_string(w[3]);
  };
  rc << "1 VERSIONINFO\n";
  rc << "FILEVERSION " << four(v.fileVersion) << "\n";
  rc << "PRODUCTVERSION " << four(v.productVersion) << "\n";
  rc << "FILEFLAGSMASK " << Hex(v.fileFlagsMask) << "\n";
  rc << "FILEFLAGS " << Hex(v.fileFlags) << "\n";
  rc << "FILEOS " << Hex(v.fileOS) << "\n";
  rc << "FILETYPE " << Hex(v.fileType) << "\n";
  rc << "FILESUBTYPE " << Hex(v.fileSubtype) << "\n";
  rc << "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"" << v.block << "\"\n    BEGIN\n";
  for (const AfxVersionString& s : v.strings) {
    rc << "      VALUE \"" << s.key << "\", " << Quoted(s.value) << "\n";
  }
  rc << "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n";
  rc << "    VALUE \"Translation\", " << Hex(v.translationLanguage) << ", "
     << Hex(v.translationCodePage) << "\n";
  rc << "  END\nEND\n";
}

// One icon image as it stands in an .ico file: a bitmap header, the palette, the 4-bit colour
// rows and the 1-bit mask rows (both bottom row first, each row padded to 4 bytes).
std::string IconImage(const AfxIconImage& image) {
  int width = 0, height = 0, colours = 0, chars = 0;
  std::istringstream(image.xpm[0]) >> width >> height >> colours >> chars;
  if (width != image.size || height != image.size || chars != 1) Fail("unexpected XPM header");
  int index[256];
  for (int& i : index) i = -1;  // -1: not a colour; 16: transparent
  for (int c = 0; c < colours; ++c) {
    const std::string line = image.xpm[1 + static_cast<size_t>(c)];
    const std::string colour = line.substr(line.rfind(' ') + 1);
    const auto key = static_cast<unsigned char>(line[0]);
    if (colour == "None") index[key] = 16;
    for (int p = 0; p < 16; ++p) {
      if (colour == kPalette[p]) index[key] = p;
    }
    if (index[key] < 0) Fail("colour outside the standard palette: " + colour);
  }
  std::string out;
  auto put16 = [&](uint32_t v) {
    out += static_cast<char>(v & 0xFF), out += static_cast<char>(v >> 8);
  };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  const uint32_t colourRow = static_cast<uint32_t>((width * 4 + 31) / 32 * 4);
  const uint32_t maskRow = static_cast<uint32_t>((width + 31) / 32 * 4);
  put32(40);                                 // BITMAPINFOHEADER size
  put32(static_cast<uint32_t>(width));       // width
  put32(static_cast<uint32_t>(height * 2));  // height of colour rows and mask rows together
  put16(1);                                  // planes
  put16(4);                                  // bits per pixel
  put32(0);                                  // no compression
  put32((colourRow + maskRow) * static_cast<uint32_t>(height));  // image bytes
  put32(0), put32(0), put32(16), put32(0);  // resolution, colours used, colours important
  for (const char* colour : kPalette) {     // palette, blue green red reserved
    const unsigned value = static_cast<unsigned>(std::stoul(colour + 1, nullptr, 16));
    out += static_cast<char>(value & 0xFF), out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>((value >> 16) & 0xFF), out += '\0';
  }
  auto pixel = [&](int x, int y) {
    return index[static_cast<unsigned char>(image.xpm[1 + static_cast<size_t>(colours + y)][x])];
  };
  for (int y = height - 1; y >= 0; --y) {
    std::string row(colourRow, '\0');
    for (int x = 0; x < width; ++x) {
      const int p = pixel(x, y) == 16 ? 0 : pixel(x, y);  // transparent: black under the mask
      row[static_cast<size_t>(x / 2)] |= static_cast<char>(x % 2 == 0 ? p << 4 : p);
    }
    out += row;
  }
  for (int y = height - 1; y >= 0; --y) {
    std::string row(maskRow, '\0');
    for (int x = 0; x < width; ++x) {
      if (pixel(x, y) == 16) row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    }
    out += row;
  }
  return out;
}

std::string IconFile(const AfxIconResource& icon) {
  std::string out;
  auto put16 = [&](uint32_t v) {
    out += static_cast<char>(v & 0xFF), out += static_cast<char>(v >> 8);
  };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  std::vector<std::string> images;
  for (const AfxIconImage& image : icon.images) images.push_back(IconImage(image));
  put16(0), put16(1), put16(static_cast<uint32_t>(images.size()));  // ICONDIR
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {  // ICONDIRENTRY
    const int size = icon.images[i].size;
    out += static_cast<char>(size), out += static_cast<char>(size);
    out += static_cast<char>(16), out += '\0';  // 16 colours
    put16(1), put16(4);                         // planes, bits per pixel
    put32(static_cast<uint32_t>(images[i].size())), put32(offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::string& image : images) out += image;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) Fail("usage: orlexmon_rc_gen OUT.rc [OUT.ico]");
  const AfxResourceTable& resources = ORLEXMON_RC_RESOURCES();
  if (resources.icons.size() > 1) Fail("expected one icon at most");
  if (resources.icons.size() == 1 && argc != 3) Fail("the table has an icon: name OUT.ico");
  if (resources.dialogs.empty()) Fail("expected a dialog");
  std::ostringstream rc;
  rc << "// orLexmon's resources, written by orlexmon_rc_gen from ui/resources.cpp. Do not edit.\n";
  rc << "#pragma code_page(65001)\n";
  rc << "LANGUAGE " << Hex(resources.dialogs[0].language & 0x3FF) << ", "
     << Hex(static_cast<uint32_t>(resources.dialogs[0].language >> 10)) << "\n\n";
  for (const AfxDialogTemplate& t : resources.dialogs) {
    if (t.language != LANG_JAPANESE_JAPAN) Fail("every resource is Japanese");
    WriteDialog(rc, t);
  }
  for (const AfxMenuTemplate& m : resources.menus) WriteMenu(rc, m);
  for (const AfxIconResource& icon : resources.icons) {
    rc << icon.id << " ICON \"" << argv[2] << "\"\n\n";
    std::ofstream(argv[2], std::ios::binary) << IconFile(icon);
  }
  if (resources.version != nullptr) WriteVersion(rc, *resources.version);
  std::ofstream(argv[1], std::ios::binary) << rc.str();
  return 0;
}
