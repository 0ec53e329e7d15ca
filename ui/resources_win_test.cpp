// The compiled resources of the Windows build against the data they are written from: the dialog
// templates 100 and 102, the menu 129, the icon 128 and the version block are read back from the
// running executable with the Win32 resource calls, byte layout and all, and must say exactly
// what ui/resources.cpp says (the data the Qt windows show), every one in Japanese (0x0411).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ui/resource.h"
#include "ui/resources.h"

namespace {

constexpr WORD kJapanese = 0x0411;
constexpr ULONG_PTR kDialog = 5, kMenu = 4, kIcon = 3, kGroupIcon = 14, kVersion = 16;

// The bytes of resource `type`/`id` in Japanese, empty when there is none.
std::vector<uint8_t> Resource(ULONG_PTR type, UINT id) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found =
      FindResourceExW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), kJapanese);
  if (found == nullptr) return {};
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::set<WORD>*>(languages)->insert(language);
  return TRUE;
}

// The languages in which resource `type`/`id` exists.
std::set<WORD> Languages(ULONG_PTR type, UINT id) {
  std::set<WORD> languages;
  EnumResourceLanguagesW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id),
                         AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

std::string Cp932(const std::u16string& text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = WideCharToMultiByte(932, 0, wide, static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(932, 0, wide, static_cast<int>(text.size()), out.data(), length, nullptr,
                      nullptr);
  return out;
}

// An ordinal as NameOrOrdinal shows it.
std::string Ordinal(unsigned number) {
  std::string text(1, '#');
  text += std::to_string(number);
  return text;
}

// Reads a resource's little-endian fields in order.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
  uint16_t Word() {
    const uint8_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  uint32_t Dword() {
    const uint16_t low = Word();
    return low | (static_cast<uint32_t>(Word()) << 16);
  }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  uint8_t Byte() {
    if (m_at >= m_bytes.size()) {
      m_overrun = true;
      return 0;
    }
    return m_bytes[m_at++];
  }
  // A NUL-terminated UTF-16 string.
  std::u16string String() {
    std::u16string text;
    for (uint16_t c = Word(); c != 0 && !m_overrun; c = Word()) text += static_cast<char16_t>(c);
    return text;
  }
  // A string or an ordinal (0xFFFF and a number), as templates hold names; "#N" for an ordinal.
  std::string NameOrOrdinal() {
    const uint16_t first = Word();
    if (first == 0xFFFF) return Ordinal(Word());
    if (first == 0) return "";
    std::u16string text(1, static_cast<char16_t>(first));
    text += String();
    return Cp932(text);
  }
  void AlignDword() {
    while (m_at % 4 != 0) ++m_at;
  }
  size_t Position() const { return m_at; }
  void Seek(size_t at) { m_at = at; }
  bool Overrun() const { return m_overrun || m_at > m_bytes.size(); }

 private:
  const std::vector<uint8_t>& m_bytes;  // the resource
  size_t m_at = 0;                      // next byte
  bool m_overrun = false;               // a read went past the end
};

std::string ClassName(AfxControlKind kind) {
  switch (kind) {
    case AfxControlKind::kButton:
      return "#128";  // the predefined class atoms
    case AfxControlKind::kEdit:
      return "#129";
    case AfxControlKind::kStatic:
      return "#130";
  }
  return "";
}

TEST(CompiledResources, DialogTemplatesSayWhatTheDataSays) {
  for (const AfxDialogTemplate& t : OrLexmonResources().dialogs) {
    SCOPED_TRACE("dialog " + std::to_string(t.id));
    EXPECT_EQ(Languages(kDialog, t.id), std::set<WORD>{kJapanese});
    const std::vector<uint8_t> bytes = Resource(kDialog, t.id);
    ASSERT_FALSE(bytes.empty());
    Reader r(bytes);
    uint32_t style = 0, exStyle = 0;
    if (t.extended) {
      EXPECT_EQ(r.Word(), 1);       // dlgVer
      EXPECT_EQ(r.Word(), 0xFFFF);  // signature: DLGTEMPLATEEX
      EXPECT_EQ(r.Dword(), 0u);     // no help identifier
      exStyle = r.Dword();
      style = r.Dword();
    } else {
      style = r.Dword();
      exStyle = r.Dword();
    }
    EXPECT_EQ(style, t.style);
    EXPECT_EQ(exStyle, t.exStyle);
    const size_t count = r.Word();
    EXPECT_EQ(count, t.items.size());
    EXPECT_EQ(r.Short(), t.x);
    EXPECT_EQ(r.Short(), t.y);
    EXPECT_EQ(r.Short(), t.cx);
    EXPECT_EQ(r.Short(), t.cy);
    EXPECT_EQ(r.NameOrOrdinal(), t.menu != 0 ? Ordinal(t.menu) : "");
    EXPECT_EQ(r.NameOrOrdinal(), "");  // the system's dialog class
    EXPECT_EQ(Cp932(r.String()), t.caption);
    ASSERT_NE(t.style & DS_SETFONT, 0u);
    EXPECT_EQ(r.Word(), t.pointSize);
    if (t.extended) {
      EXPECT_EQ(r.Word(), t.weight);
      EXPECT_EQ(r.Byte(), t.italic ? 1 : 0);
      EXPECT_EQ(r.Byte(), t.charset);
    }
    EXPECT_EQ(Cp932(r.String()), t.fontName);

    for (size_t i = 0; i < t.items.size() && i < count; ++i) {
      const AfxDialogItem& item = t.items[i];
      SCOPED_TRACE("control " + std::to_string(i + 1));
      r.AlignDword();
      uint32_t itemStyle = 0, itemExStyle = 0;
      if (t.extended) {
        EXPECT_EQ(r.Dword(), 0u);  // help identifier
        itemExStyle = r.Dword();
        itemStyle = r.Dword();
      } else {
        itemStyle = r.Dword();
        itemExStyle = r.Dword();
      }
      EXPECT_EQ(itemStyle, item.style);
      EXPECT_EQ(itemExStyle, 0u);
      EXPECT_EQ(r.Short(), item.x);
      EXPECT_EQ(r.Short(), item.y);
      EXPECT_EQ(r.Short(), item.cx);
      EXPECT_EQ(r.Short(), item.cy);
      const uint32_t id = t.extended ? r.Dword() : r.Word();
      EXPECT_EQ(id, t.extended ? static_cast<uint32_t>(item.id) : (item.id & 0xFFFFu));
      EXPECT_EQ(r.NameOrOrdinal(), ClassName(item.kind));
      const bool picture = (item.style & 0x1F) == SS_ICON;
      EXPECT_EQ(r.NameOrOrdinal(), picture ? Ordinal(static_cast<unsigned>(item.icon)) : item.text);
      EXPECT_EQ(r.Word(), 0);  // no creation data
    }
    EXPECT_FALSE(r.Overrun());
  }
}

TEST(CompiledResources, MenuSaysWhatTheDataSays) {
  ASSERT_EQ(OrLexmonResources().menus.size(), 1u);
  const AfxMenuTemplate& menu = OrLexmonResources().menus[0];
  EXPECT_EQ(menu.id, IDR_MAIN_MENU);
  EXPECT_EQ(Languages(kMenu, menu.id), std::set<WORD>{kJapanese});
  const std::vector<uint8_t> bytes = Resource(kMenu, menu.id);
  ASSERT_FALSE(bytes.empty());
  Reader r(bytes);
  EXPECT_EQ(r.Word(), 0);  // MENUITEMTEMPLATEHEADER: version 0, items at once
  EXPECT_EQ(r.Word(), 0);
  for (size_t p = 0; p < menu.popups.size(); ++p) {
    const AfxMenuPopup& popup = menu.popups[p];
    const bool lastPopup = p + 1 == menu.popups.size();
    // A drop-down menu, the last one marked as such; nothing greyed, checked or broken.
    EXPECT_EQ(r.Word(), MF_POPUP | (lastPopup ? MF_END : 0)) << p;
    EXPECT_EQ(Cp932(r.String()), popup.text);
    for (size_t i = 0; i < popup.items.size(); ++i) {
      const bool lastItem = i + 1 == popup.items.size();
      EXPECT_EQ(r.Word(), lastItem ? MF_END : 0) << p << "/" << i;
      EXPECT_EQ(r.Word(), popup.items[i].command);
      EXPECT_EQ(Cp932(r.String()), popup.items[i].text);
    }
  }
  EXPECT_EQ(r.Position(), bytes.size());
  // And the system's menu of it reads the same.
  const HMENU loaded = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menu.id));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(GetMenuItemCount(loaded), static_cast<int>(menu.popups.size()));
  EXPECT_EQ(GetMenuItemID(GetSubMenu(loaded, 2), 1), menu.popups[2].items[1].command);
  DestroyMenu(loaded);
}

// An XPM image's pixels as colour names ("None" for transparent), row by row.
std::vector<std::vector<std::string>> XpmPixels(const AfxIconImage& image) {
  int width = 0, height = 0, colours = 0, chars = 0;
  std::istringstream(image.xpm[0]) >> width >> height >> colours >> chars;
  std::map<char, std::string> palette;
  for (int c = 0; c < colours; ++c) {
    const std::string line = image.xpm[1 + static_cast<size_t>(c)];
    palette[line[0]] = line.substr(line.rfind(' ') + 1);
  }
  std::vector<std::vector<std::string>> rows;
  for (int y = 0; y < height; ++y) {
    rows.emplace_back();
    for (int x = 0; x < width; ++x) {
      rows.back().push_back(palette[image.xpm[1 + static_cast<size_t>(colours + y)][x]]);
    }
  }
  return rows;
}

std::string ColourName(const uint8_t* bgrx) {
  char name[8];
  std::snprintf(name, sizeof name, "#%02X%02X%02X", bgrx[2], bgrx[1], bgrx[0]);
  return name;
}

TEST(CompiledResources, IconHoldsTheDataPixelsIn16ColoursWithTheirMasks) {
  ASSERT_EQ(OrLexmonResources().icons.size(), 1u);
  const AfxIconResource& icon = OrLexmonResources().icons[0];
  EXPECT_EQ(icon.id, IDI_APP);
  EXPECT_EQ(Languages(kGroupIcon, icon.id), std::set<WORD>{kJapanese});
  const std::vector<uint8_t> group = Resource(kGroupIcon, icon.id);
  ASSERT_FALSE(group.empty());
  Reader r(group);
  EXPECT_EQ(r.Word(), 0);  // GRPICONDIR: reserved, type 1 (icon), count
  EXPECT_EQ(r.Word(), 1);
  ASSERT_EQ(size_t{r.Word()}, icon.images.size());
  for (const AfxIconImage& image : icon.images) {
    SCOPED_TRACE(image.size);
    EXPECT_EQ(r.Byte(), image.size);  // GRPICONDIRENTRY
    EXPECT_EQ(r.Byte(), image.size);
    EXPECT_EQ(r.Byte(), 16);  // colours
    r.Byte();
    EXPECT_EQ(r.Word(), 1);  // planes
    EXPECT_EQ(r.Word(), 4);  // bits per pixel
    const uint32_t size = r.Dword();
    const uint16_t id = r.Word();

    const std::vector<uint8_t> bits = Resource(kIcon, id);
    ASSERT_EQ(bits.size(), size);
    BITMAPINFOHEADER header;
    ASSERT_GE(bits.size(), sizeof header + 64);
    std::memcpy(&header, bits.data(), sizeof header);
    EXPECT_EQ(header.biWidth, image.size);
    EXPECT_EQ(header.biHeight, 2 * image.size);  // colour rows and mask rows
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    const uint8_t* palette = bits.data() + header.biSize;
    const uint8_t* colours = palette + 16 * 4;
    const size_t colourRow = static_cast<size_t>((image.size * 4 + 31) / 32 * 4);
    const size_t maskRow = static_cast<size_t>((image.size + 31) / 32 * 4);
    const uint8_t* mask = colours + colourRow * static_cast<size_t>(image.size);
    ASSERT_EQ(mask + maskRow * static_cast<size_t>(image.size), bits.data() + bits.size());
    // The standard 16-colour palette, in its order.
    const char* const standard[16] = {
        "#000000", "#800000", "#008000", "#808000", "#000080", "#800080", "#008080", "#C0C0C0",
        "#808080", "#FF0000", "#00FF00", "#FFFF00", "#0000FF", "#FF00FF", "#00FFFF", "#FFFFFF"};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ColourName(palette + 4 * i), standard[i]) << i;

    const std::vector<std::vector<std::string>> want = XpmPixels(image);
    int wrong = 0;
    for (int y = 0; y < image.size; ++y) {
      const size_t row = static_cast<size_t>(image.size - 1 - y);  // bottom row first
      for (int x = 0; x < image.size; ++x) {
        const bool transparent =
            (mask[row * maskRow + static_cast<size_t>(x / 8)] & (0x80 >> (x % 8))) != 0;
        const uint8_t pair = colours[row * colourRow + static_cast<size_t>(x / 2)];
        const int index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
        const std::string got = transparent ? "None" : standard[index];
        if (got != want[static_cast<size_t>(y)][static_cast<size_t>(x)] && ++wrong <= 5) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << got << ", data "
                        << want[static_cast<size_t>(y)][static_cast<size_t>(x)];
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
  EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon.id)), nullptr);
}

// One block of a version resource: its key, its value's bytes and its children, in order.
struct VersionBlock {
  std::u16string key;                  // szKey
  uint16_t type = 0;                   // 1: the value is text
  std::vector<uint8_t> value;          // the value's bytes
  std::vector<VersionBlock> children;  // the blocks inside it
};

VersionBlock ParseBlock(const std::vector<uint8_t>& bytes, size_t at, bool* ok) {
  Reader r(bytes);
  r.Seek(at);
  VersionBlock block;
  const uint16_t length = r.Word();
  const uint16_t valueLength = r.Word();
  block.type = r.Word();
  block.key = r.String();
  r.AlignDword();
  const size_t valueBytes = block.type == 1 ? valueLength * 2u : valueLength;
  const size_t end = at + length;
  if (length < 6 || end > bytes.size() || r.Position() + valueBytes > end) {
    *ok = false;
    return block;
  }
  block.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(r.Position()),
                     bytes.begin() + static_cast<std::ptrdiff_t>(r.Position() + valueBytes));
  size_t child = (r.Position() + valueBytes + 3) / 4 * 4;
  while (child + 6 <= end && *ok) {
    block.children.push_back(ParseBlock(bytes, child, ok));
    Reader next(bytes);
    next.Seek(child);
    const uint16_t childLength = next.Word();
    if (childLength == 0) break;
    child = (child + childLength + 3) / 4 * 4;
  }
  return block;
}

std::u16string U16(const char* ascii) { return std::u16string(ascii, ascii + std::strlen(ascii)); }

TEST(CompiledResources, VersionBlockSaysWhatTheDataSaysInItsOrder) {
  const AfxVersionInfo* v = OrLexmonResources().version;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Languages(kVersion, 1), std::set<WORD>{kJapanese});
  const std::vector<uint8_t> bytes = Resource(kVersion, 1);
  ASSERT_FALSE(bytes.empty());
  bool ok = true;
  const VersionBlock root = ParseBlock(bytes, 0, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, root.value.data(), sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, static_cast<DWORD>(v->fileVersion[0] << 16 | v->fileVersion[1]));
  EXPECT_EQ(fixed.dwFileVersionLS, static_cast<DWORD>(v->fileVersion[2] << 16 | v->fileVersion[3]));
  EXPECT_EQ(fixed.dwProductVersionMS,
            static_cast<DWORD>(v->productVersion[0] << 16 | v->productVersion[1]));
  EXPECT_EQ(fixed.dwProductVersionLS,
            static_cast<DWORD>(v->productVersion[2] << 16 | v->productVersion[3]));
  EXPECT_EQ(fixed.dwFileFlagsMask, v->fileFlagsMask);
  EXPECT_EQ(fixed.dwFileFlags, v->fileFlags);
  EXPECT_EQ(fixed.dwFileOS, v->fileOS);
  EXPECT_EQ(fixed.dwFileType, v->fileType);
  EXPECT_EQ(fixed.dwFileSubtype, v->fileSubtype);
  EXPECT_EQ(fixed.dwFileDateMS, 0u);
  EXPECT_EQ(fixed.dwFileDateLS, 0u);

  ASSERT_EQ(root.children.size(), 2u);
  const VersionBlock& strings = root.children[0];
  EXPECT_EQ(strings.key, u"StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u);
  EXPECT_EQ(strings.children[0].key, U16(v->block));
  const std::vector<VersionBlock>& entries = strings.children[0].children;
  ASSERT_EQ(entries.size(), v->strings.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(v->strings[i].key);
    EXPECT_EQ(entries[i].key, U16(v->strings[i].key));
    EXPECT_EQ(entries[i].type, 1);
    std::u16string text(entries[i].value.size() / 2, u'\0');
    std::memcpy(text.data(), entries[i].value.data(), text.size() * 2);
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    EXPECT_EQ(Cp932(text), v->strings[i].value);
  }
  const VersionBlock& variables = root.children[1];
  EXPECT_EQ(variables.key, u"VarFileInfo");
  ASSERT_EQ(variables.children.size(), 1u);
  EXPECT_EQ(variables.children[0].key, u"Translation");
  EXPECT_EQ(variables.children[0].value,
            (std::vector<uint8_t>{static_cast<uint8_t>(v->translationLanguage & 0xFF),
                                  static_cast<uint8_t>(v->translationLanguage >> 8),
                                  static_cast<uint8_t>(v->translationCodePage & 0xFF),
                                  static_cast<uint8_t>(v->translationCodePage >> 8)}));

  // What the file's properties show: the system's own reading of the block.
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD handle = 0;
  std::vector<uint8_t> info(GetFileVersionInfoSizeW(path, &handle));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
  wchar_t* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041104b0\\ProductName",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_STREQ(value, L"Orvan");
}

}  // namespace
