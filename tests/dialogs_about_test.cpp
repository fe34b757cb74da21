// The about box of the built zavol.dlf through a filter's ShowAboutBox, and pictures of both
// dialogs taken headlessly (written as BMP files when ZAVOL_DIALOG_PICTURES names a folder).
// Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/dialogs_support.h"

namespace {

using dlgtest::Click;
using dlgtest::Filter;
using dlgtest::ModalRun;

class AboutBox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(plugin_.Module(), nullptr) << "zavol.dlf did not load";
    ASSERT_NE(owner_.Handle(), nullptr);
  }

  ModalRun Show(const Filter& filter, const std::function<void(HWND)>& script) {
    ModalRun run = dlgtest::RunModal(
        [&] { return static_cast<INT_PTR>(filter->ShowAboutBox(owner_.Handle())); }, script);
    EXPECT_TRUE(run.scriptRan) << "the box never appeared (result " << run.result << ")";
    EXPECT_FALSE(run.forcedClosed) << "the box did not end when told to";
    return run;
  }

  dlgtest::Plugin plugin_;
  dlgtest::OwnerWindow owner_;
};

struct Ending {
  const char* name;
  void (*end)(HWND box);
  INT_PTR result;
};

const Ending kEndings[] = {
    {"OK button", [](HWND b) { Click(b, IDOK); }, 1},
    {"Enter key", [](HWND b) { dlgtest::PostKey(b, IDOK, VK_RETURN); }, 1},
    {"Esc key", [](HWND b) { dlgtest::PostKey(b, IDOK, VK_ESCAPE); }, 0},
    {"close box", [](HWND b) { PostMessageA(b, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0},
    {"WM_CLOSE", [](HWND b) { PostMessageA(b, WM_CLOSE, 0, 0); }, 0},
    {"command 1 with a notification code",
     [](HWND b) { SendMessageA(b, WM_COMMAND, MAKEWPARAM(IDOK, 0x0300), 0); }, 1},
};

TEST_F(AboutBox, EndsWithOneForOkAndZeroForEscOrClose) {
  for (const Ending& ending : kEndings) {
    SCOPED_TRACE(ending.name);
    Filter filter(plugin_);
    StereogramSettings unusual;
    std::memset(&unusual, 0x5A, sizeof unusual);
    filter.Load(unusual);
    const ModalRun run = Show(filter, ending.end);
    EXPECT_EQ(run.result, ending.result);
    const StereogramSettings after = filter.Saved();
    EXPECT_EQ(std::memcmp(&after, &unusual, sizeof after), 0) << "the box touched the settings";
  }
}

TEST_F(AboutBox, OtherCommandsLeaveItOpen) {
  Filter filter(plugin_);
  const ModalRun run = Show(filter, [](HWND b) {
    SendMessageA(b, WM_COMMAND, MAKEWPARAM(1015, BN_CLICKED), 0);
    SendMessageA(b, WM_COMMAND, MAKEWPARAM(0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(b)) << "an unknown command ended the box";
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(b, DWLP_DLGPROC));
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc(b, WM_COMMAND, MAKEWPARAM(4711, 0), 0), 1);
    EXPECT_EQ(proc(b, WM_MOUSEMOVE, 0, 0), 0);
    EXPECT_EQ(proc(b, WM_DESTROY, 0, 0), 0);
    Click(b, IDOK);
  });
  EXPECT_EQ(run.result, 1);
}

TEST_F(AboutBox, OpensCentredOverItsOwnerWithTheArrowCursorAndNoHostObjects) {
  Filter filter(plugin_);
  dlgtest::CoreCallLog log(plugin_.Module());
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  HWND owner = owner_.Handle();
  Show(filter, [&](HWND b) {
    EXPECT_EQ(GetCursor(), arrow);
    RECT box, under;
    GetWindowRect(b, &box);
    GetWindowRect(owner, &under);
    EXPECT_NEAR((box.left + box.right) / 2, (under.left + under.right) / 2, 1);
    EXPECT_NEAR((box.top + box.bottom) / 2, (under.top + under.bottom) / 2, 1);
    char caption[32] = {};
    GetWindowTextA(b, caption, sizeof caption);
    EXPECT_STREQ(caption, "About");
    Click(b, IDOK);
  });
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"CenterWindow over its parent"});
}

// The pictures in docs/ come from here (scripts/dialog-pictures). Whatever the folder, the
// pictures must show more than a blank window: caption, frame, text and controls.
class Pictures : public AboutBox {};

void Keep(const dlgtest::Picture& picture, const char* name) {
  const char* folder = std::getenv("ZAVOL_DIALOG_PICTURES");
  if (!folder || !*folder) return;
  const std::string path = std::string(folder) + "/" + name;
  EXPECT_TRUE(dlgtest::WriteBmp(picture, path)) << "cannot write " << path;
}

TEST_F(Pictures, BothDialogsDrawTheirContents) {
  Filter filter(plugin_);
  dlgtest::Picture setup, about;
  dlgtest::RunModal([&] { return static_cast<INT_PTR>(filter->ShowSetupDialog(owner_.Handle())); },
                    [&](HWND d) {
                      setup = dlgtest::Capture(d);
                      Click(d, IDCANCEL);
                    });
  Show(filter, [&](HWND b) {
    about = dlgtest::Capture(b);
    Click(b, IDOK);
  });
  ASSERT_GT(setup.width, 200);
  ASSERT_GT(setup.height, 200);
  ASSERT_GT(about.width, 150);
  ASSERT_GT(about.height, 80);
  EXPECT_GE(setup.DistinctColours(), 4);
  EXPECT_GE(about.DistinctColours(), 4);
  Keep(setup, "setup-dialog.bmp");
  Keep(about, "about-box.bmp");
}

}  // namespace
