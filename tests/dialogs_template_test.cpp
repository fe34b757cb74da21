// The dialog templates as zavol.dlf carries them: read back from the loaded module's resources
// and compared field by field with the layout the dialogs are drawn from. Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/dialogs_support.h"

namespace {

using dlgtest::Plugin;

// One control as stored. A class or text given by ordinal keeps the number in `ordinal`.
struct StoredControl {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::string className;
  int classOrdinal = -1;
  std::string text;
  int extraBytes = 0;
};

struct StoredDialog {
  bool extended = false;
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string menu;
  std::string className;
  std::string caption;
  int pointSize = 0;
  std::string font;
  std::vector<StoredControl> controls;
};

// A bounds-checked reader over the resource bytes; any overrun marks the parse failed.
class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  std::size_t offset() const { return at_; }

  template <typename T>
  T Get() {
    T value{};
    if (at_ + sizeof(T) > size_) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, data_ + at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  void AlignTo4() { at_ = (at_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t bytes) {
    if (at_ + bytes > size_) ok_ = false;
    at_ += bytes;
  }
  // A UTF-16 string up to its terminator; the texts here are plain ASCII.
  std::string String() {
    std::string text;
    for (;;) {
      const WORD unit = Get<WORD>();
      if (!ok_ || unit == 0) return text;
      text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
  }
  // A string, nothing (0x0000), or an ordinal (0xFFFF then the number).
  std::string StringOrOrdinal(int* ordinal) {
    *ordinal = -1;
    const std::size_t start = at_;
    const WORD first = Get<WORD>();
    if (first == 0) return std::string();
    if (first == 0xFFFF) {
      *ordinal = Get<WORD>();
      return std::string();
    }
    at_ = start;
    return String();
  }

 private:
  const BYTE* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

bool ParseDialog(const BYTE* data, std::size_t size, StoredDialog* dialog) {
  Reader in(data, size);
  int ordinal = -1;
  WORD count = 0;
  if (size >= 4 && reinterpret_cast<const WORD*>(data)[1] == 0xFFFF) {
    dialog->extended = true;
    in.Get<WORD>();  // version
    in.Get<WORD>();  // signature
    in.Get<DWORD>();  // help id
    dialog->exStyle = in.Get<DWORD>();
    dialog->style = in.Get<DWORD>();
  } else {
    dialog->style = in.Get<DWORD>();
    dialog->exStyle = in.Get<DWORD>();
  }
  count = in.Get<WORD>();
  dialog->x = in.Get<short>();
  dialog->y = in.Get<short>();
  dialog->cx = in.Get<short>();
  dialog->cy = in.Get<short>();
  dialog->menu = in.StringOrOrdinal(&ordinal);
  if (ordinal >= 0) dialog->menu = "#" + std::to_string(ordinal);
  dialog->className = in.StringOrOrdinal(&ordinal);
  if (ordinal >= 0) dialog->className = "#" + std::to_string(ordinal);
  dialog->caption = in.String();
  if (dialog->style & DS_SETFONT) {
    dialog->pointSize = in.Get<WORD>();
    if (dialog->extended) {
      in.Get<WORD>();  // weight
      in.Get<BYTE>();  // italic
      in.Get<BYTE>();  // character set
    }
    dialog->font = in.String();
  }
  for (int i = 0; i < count && in.ok(); ++i) {
    in.AlignTo4();
    StoredControl control;
    if (dialog->extended) {
      in.Get<DWORD>();  // help id
      control.exStyle = in.Get<DWORD>();
      control.style = in.Get<DWORD>();
    } else {
      control.style = in.Get<DWORD>();
      control.exStyle = in.Get<DWORD>();
    }
    control.x = in.Get<short>();
    control.y = in.Get<short>();
    control.cx = in.Get<short>();
    control.cy = in.Get<short>();
    control.id = dialog->extended ? static_cast<int>(in.Get<DWORD>()) : in.Get<WORD>();
    control.className = in.StringOrOrdinal(&control.classOrdinal);
    int textOrdinal = -1;
    control.text = in.StringOrOrdinal(&textOrdinal);
    if (textOrdinal >= 0) control.text = "#" + std::to_string(textOrdinal);
    control.extraBytes = in.Get<WORD>();
    in.Skip(control.extraBytes);
    dialog->controls.push_back(control);
  }
  return in.ok() && dialog->controls.size() == count && in.offset() <= size;
}

struct ExpectedControl {
  int id;  // 0xFFFF for the static identifier
  const char* className;
  const char* text;  // null: checked elsewhere
  short x, y, cx, cy;
  DWORD style;
};

constexpr int kStaticId = 0xFFFF;

// The setup dialog, in template order.
const ExpectedControl kSetupControls[] = {
    {1013, "CustEdit", "Custom1", 77, 20, 35, 10, 0x50010000},
    {1010, "CustEdit", "Custom1", 77, 32, 35, 10, 0x50010000},
    {1018, "CustEdit", "Custom1", 77, 44, 35, 10, 0x50010000},
    {1015, "BUTTON", "Auto Distance", 13, 126, 61, 10, 0x50010003},
    {1016, "CustEdit", "Custom1", 77, 139, 35, 10, 0x50010000},
    {1020, "CustEdit", "Custom1", 77, 151, 35, 10, 0x50010000},
    {1023, "BUTTON", "RGB ramp", 11, 73, 52, 10, 0x50020009},
    {1024, "BUTTON", "HSV ramp", 11, 86, 45, 10, 0x50000009},
    {1000, "BUTTON", "14\" monitor", 135, 17, 50, 12, 0x50020009},
    {1001, "BUTTON", "15\" Monitor", 135, 30, 50, 12, 0x50000009},
    {1002, "BUTTON", "17\" Monitor", 135, 43, 50, 12, 0x50000009},
    {1003, "BUTTON", "19\" Monitor", 135, 56, 50, 12, 0x50000009},
    {1004, "BUTTON", "21\" Monitor", 135, 69, 50, 12, 0x50000009},
    {1005, "BUTTON", "A5 paper", 135, 82, 50, 12, 0x50000009},
    {1006, "BUTTON", "A4 paper", 135, 95, 50, 12, 0x50000009},
    {1007, "BUTTON", "A3 paper", 135, 108, 50, 12, 0x50000009},
    {1008, "BUTTON", "", 135, 121, 12, 12, 0x50000009},
    {1009, "CustEdit", "Custom1", 147, 122, 27, 10, 0x50010000},
    {1, "BUTTON", "OK", 42, 173, 50, 14, 0x50010001},
    {2, "BUTTON", "Cancel", 113, 173, 50, 14, 0x50010000},
    {kStaticId, "BUTTON", "Viewing Medium", 129, 7, 72, 130, 0x50000007},
    {1011, "SpinnerControl", "Custom3", 175, 122, 7, 10, 0x58010000},
    {kStaticId, "STATIC", "dpi", 185, 122, 12, 10, 0x50020000},
    {kStaticId, "BUTTON", "Depth Perception", 7, 7, 118, 53, 0x50000007},
    {1012, "SpinnerControl", "Custom3", 113, 32, 7, 10, 0x50010000},
    {1014, "SpinnerControl", "Custom3", 113, 20, 7, 10, 0x50010000},
    {kStaticId, "STATIC", "Near Object Depth", 9, 32, 64, 10, 0x50020002},
    {kStaticId, "BUTTON", "Scene Distances", 7, 115, 118, 49, 0x50000007},
    {1017, "SpinnerControl", "Custom3", 113, 139, 7, 10, 0x50010000},
    {kStaticId, "STATIC", "Near Distance", 13, 139, 61, 10, 0x50020002},
    {kStaticId, "STATIC", "Background Depth", 9, 20, 64, 10, 0x50020002},
    {1019, "SpinnerControl", "Custom3", 113, 44, 7, 10, 0x50010000},
    {kStaticId, "STATIC", "Far Object Depth", 9, 44, 64, 10, 0x50020002},
    {1021, "SpinnerControl", "Custom3", 113, 151, 7, 10, 0x50010000},
    {kStaticId, "STATIC", "Far Distance", 13, 151, 61, 10, 0x50020002},
    {kStaticId, "BUTTON", "Random Colors", 7, 64, 118, 47, 0x50000007},
    {1025, "ColorSwatch", "Custom1", 77, 73, 43, 10, 0x50010000},
    {1026, "ColorSwatch", "Custom1", 77, 86, 43, 10, 0x50010000},
    {1027, "BUTTON", "Put Guide Points", 129, 141, 69, 10, 0x50010003},
    {1028, "BUTTON", "Randomize each frame", 11, 97, 89, 10, 0x50010003},
    {1029, "BUTTON", "Prevent Ghosting", 129, 154, 71, 10, 0x50010003},
};

const ExpectedControl kAboutControls[] = {
    {1, "BUTTON", "OK", 128, 72, 50, 14, 0x50010001},
    {kStaticId, "STATIC", nullptr, 12, 12, 162, 52, 0x50020000},
    {kStaticId, "BUTTON", "", 7, 4, 172, 64, 0x50000007},
};

// Window classes are matched without regard to case, and the resource compiler stores a
// control's class name in capitals; the two system classes may also come as their ordinals.
bool SameClass(const StoredControl& stored, const char* expected) {
  if (stored.classOrdinal == 0x80) return std::strcmp(expected, "BUTTON") == 0;
  if (stored.classOrdinal == 0x82) return std::strcmp(expected, "STATIC") == 0;
  return stored.classOrdinal < 0 && lstrcmpiA(stored.className.c_str(), expected) == 0;
}

class Templates : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(plugin_.Module(), nullptr) << "zavol.dlf did not load"; }

  StoredDialog Load(int id) {
    StoredDialog dialog;
    HRSRC found = FindResourceA(plugin_.Module(), MAKEINTRESOURCEA(id), RT_DIALOG);
    EXPECT_NE(found, nullptr) << "no dialog template " << id;
    if (!found) return dialog;
    HGLOBAL loaded = LoadResource(plugin_.Module(), found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    const DWORD size = SizeofResource(plugin_.Module(), found);
    EXPECT_TRUE(data && ParseDialog(data, size, &dialog)) << "template " << id << " is malformed";
    return dialog;
  }

  template <std::size_t N>
  void ExpectControls(const StoredDialog& dialog, const ExpectedControl (&expected)[N]) {
    ASSERT_EQ(dialog.controls.size(), N);
    for (std::size_t i = 0; i < N; ++i) {
      const StoredControl& got = dialog.controls[i];
      const ExpectedControl& want = expected[i];
      SCOPED_TRACE("control #" + std::to_string(i + 1) + " (id " + std::to_string(want.id) + ")");
      EXPECT_EQ(got.id, want.id);
      EXPECT_TRUE(SameClass(got, want.className))
          << "class " << got.className << " / ordinal " << got.classOrdinal << ", want "
          << want.className;
      if (want.text) {
        EXPECT_EQ(got.text, want.text);
      }
      EXPECT_EQ(got.x, want.x);
      EXPECT_EQ(got.y, want.y);
      EXPECT_EQ(got.cx, want.cx);
      EXPECT_EQ(got.cy, want.cy);
      EXPECT_EQ(got.style, want.style) << std::hex << got.style << " want " << want.style;
      EXPECT_EQ(got.exStyle, 0u);
      EXPECT_EQ(got.extraBytes, 0);
    }
  }

  Plugin plugin_;
};

constexpr DWORD kDialogStyle = 0x80C800C0;  // popup, caption, system menu, modal frame, font

TEST_F(Templates, SetupDialogHasItsFrameCaptionAndFont) {
  const StoredDialog dialog = Load(102);
  EXPECT_EQ(dialog.style, kDialogStyle) << std::hex << dialog.style;
  EXPECT_EQ(dialog.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                             DS_SETFONT));
  EXPECT_EQ(dialog.exStyle, 0u);
  EXPECT_EQ(dialog.cx, 208);
  EXPECT_EQ(dialog.cy, 194);
  EXPECT_EQ(dialog.menu, "");
  EXPECT_EQ(dialog.className, "");
  EXPECT_EQ(dialog.caption, "ZAVOL Setup");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.font, "MS Sans Serif");
}

TEST_F(Templates, SetupDialogControlsInTemplateOrder) { ExpectControls(Load(102), kSetupControls); }

TEST_F(Templates, AboutBoxHasItsFrameCaptionAndFont) {
  const StoredDialog dialog = Load(101);
  EXPECT_EQ(dialog.style, kDialogStyle) << std::hex << dialog.style;
  EXPECT_EQ(dialog.exStyle, 0u);
  EXPECT_EQ(dialog.cx, 187);
  EXPECT_EQ(dialog.cy, 91);
  EXPECT_EQ(dialog.menu, "");
  EXPECT_EQ(dialog.className, "");
  EXPECT_EQ(dialog.caption, "About");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.font, "Courier New");
}

TEST_F(Templates, AboutBoxControlsInTemplateOrder) { ExpectControls(Load(101), kAboutControls); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// Columns a line takes with tabs expanded to every eighth, as the static control draws it.
std::size_t Columns(const std::string& line) {
  std::size_t column = 0;
  for (char c : line) column = c == '\t' ? (column / 8 + 1) * 8 : column + 1;
  return column;
}

TEST_F(Templates, AboutTextIsVersionBlankCreditAndThreeContactLines) {
  const StoredDialog dialog = Load(101);
  ASSERT_EQ(dialog.controls.size(), 3u);
  const std::string text = dialog.controls[1].text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << "line feeds only";
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n') << "no line feed at the end";
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 6u) << text;
  EXPECT_EQ(lines[0].rfind("ZAVOL Generator", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("1.00"), std::string::npos) << "the version, 100, as 1.00";
  EXPECT_EQ(lines[1], "");
  const std::size_t tab = lines[2].find('\t');
  ASSERT_NE(tab, std::string::npos) << lines[2];
  EXPECT_GT(tab, 0u) << "a label before the tab";
  EXPECT_EQ(lines[2].substr(tab + 1), "the zavol authors");
  for (int i = 3; i < 6; ++i) {
    EXPECT_EQ(lines[i].rfind('\t', 0), 0u) << "contact line " << i + 1 << " opens with a tab";
    EXPECT_GT(lines[i].size(), 1u);
  }
  // Where to turn, in words a reader can act on (not names of places standing in for them).
  EXPECT_EQ(lines[3], "\tSource, manual and issues:");
  EXPECT_EQ(lines[4], "\tsee README.md in the zavol");
  EXPECT_EQ(lines[5], "\tsource tree");
  for (const std::string& line : lines) {
    // Courier New puts four dialog units to a character: 162 units hold 40 columns.
    EXPECT_LE(Columns(line), 40u) << "would wrap in the frame: " << line;
    for (const char* address : {"@", "http", "www.", ".com", ".org"}) {
      EXPECT_EQ(line.find(address), std::string::npos) << "no address or site: " << line;
    }
  }
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR types) {
  reinterpret_cast<std::vector<std::string>*>(types)->push_back(
      IS_INTRESOURCE(type) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(type)) : type);
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
  reinterpret_cast<std::vector<std::string>*>(names)->push_back(
      IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : name);
  return TRUE;
}

TEST_F(Templates, TheTwoTemplatesAreTheOnlyResources) {
  std::vector<std::string> types;
  EnumResourceTypesA(plugin_.Module(), CollectType, reinterpret_cast<LONG_PTR>(&types));
  EXPECT_EQ(types, std::vector<std::string>{"#5"});
  std::vector<std::string> names;
  EnumResourceNamesA(plugin_.Module(), RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ(names, (std::vector<std::string>{"#101", "#102"}));
}

}  // namespace
