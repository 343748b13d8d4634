// The plugin file's boundary as the file manager meets it: loading, the detect
// string, refusals, the window class and the version resource.
#include <gtest/gtest.h>

#include "host_test.h"
#include "plugin_call_spy.h"
#include "test_images.h"

namespace {

const std::string kDetectString =
    R"(MULTIMEDIA & (EXT="VOB"|EXT="MPG"|EXT="MPEG"|EXT="OGV"|EXT="MP4"|EXT="M4V"|EXT="MKV"|EXT="WMV"|EXT="AVI"|EXT="ASF"|EXT="FLV"|EXT="MOV"))";

bool ClassRegistered(HMODULE module) {
  WNDCLASSW info{};
  return GetClassInfoW(module, L"MPWinClass", &info) != FALSE;
}

std::wstring VersionString(const std::wstring& file, const wchar_t* name) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(file.c_str(), &ignored));
  if (data.empty() || !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data())) return {};
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904E4\\") + name;
  if (!VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) return {};
  return value;
}

struct StackMove {
  const char* Export;
  int Moved;          // as the host stand-in saw it
  int ArgumentBytes;  // what the export was handed
};

// Calls each of the ten exports once, a view opened, switched and closed among
// them and thumbnails asked for, and gives where each call left the 32-bit host's
// stack pointer.
std::vector<StackMove> StackMovesOfEveryExport(TestWorkspace& workspace, HWND lister) {
  workspace.WriteDefaultSettings();
  PluginHost& host = workspace.LoadPlugin(false);
  std::vector<StackMove> moves;
  host.SetDefaultParams();
  moves.push_back({"ListSetDefaultParams", host.LastStackMove(), 4});
  host.DetectString(10);
  moves.push_back({"ListGetDetectString", host.LastStackMove(), 8});
  host.LoadAnsi(lister, "C:\\videos\\clip.avi");
  moves.push_back({"ListLoad", host.LastStackMove(), 12});
  const OpenedView opened = workspace.Open(lister, IdentifyScript(640, 480));
  moves.push_back({"ListLoadW", host.LastStackMove(), 12});
  EXPECT_NE(opened.View, nullptr);
  host.LoadNextAnsi(lister, opened.View, "C:\\videos\\next.avi");
  moves.push_back({"ListLoadNext", host.LastStackMove(), 16});
  EXPECT_EQ(workspace.OpenNext(lister, opened.View, IdentifyScript(320, 240)).Result, 0);
  moves.push_back({"ListLoadNextW", host.LastStackMove(), 16});
  host.SendCommand(opened.View, 0);
  moves.push_back({"ListSendCommand", host.LastStackMove(), 12});
  host.CloseWindow(opened.View);
  moves.push_back({"ListCloseWindow", host.LastStackMove(), 4});
  host.PreviewBitmapAnsi("C:\\videos\\clip.avi", 96, 96);
  moves.push_back({"ListGetPreviewBitmap", host.LastStackMove(), 20});
  host.PreviewBitmap(L"C:\\videos\\no such clip.avi", 96, 96);  // refused before any player starts
  moves.push_back({"ListGetPreviewBitmapW", host.LastStackMove(), 20});
  return moves;
}

}  // namespace

using Exports = HostTest;

TEST_F(Exports, DetectStringForEveryBufferSize) {
  PluginHost& host = LoadWithDefaultSettings();
  ASSERT_EQ(kDetectString.size(), 135u);
  const std::string guard = "\x7f";
  EXPECT_EQ(host.DetectString(0), guard + guard) << "no room for the NUL: nothing is written";
  EXPECT_EQ(host.DetectString(1), guard + std::string(1, '\0') + guard);
  EXPECT_EQ(host.DetectString(10), guard + kDetectString.substr(0, 9) + '\0' + guard);
  EXPECT_EQ(host.DetectString(135), guard + kDetectString.substr(0, 134) + '\0' + guard);
  EXPECT_EQ(host.DetectString(136), guard + kDetectString + '\0' + guard);
  const std::string large = host.DetectString(300);
  EXPECT_EQ(large.substr(0, 137), guard + kDetectString + '\0');
  EXPECT_EQ(large.substr(137), std::string(300 - 136, '\x7f') + guard) << "nothing written past the NUL";
}

TEST_F(Exports, AnsiFileNamesAreRefused) {
  PluginHost& host = LoadWithDefaultSettings();
  EXPECT_EQ(host.LoadAnsi(lister_, "C:\\videos\\clip.avi"), nullptr);
  EXPECT_EQ(host.PreviewBitmapAnsi("C:\\videos\\clip.avi", 96, 96), nullptr);
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
  EXPECT_TRUE(TestWorkspace::RunningChildProcesses().empty());

  // The next file too: the open view keeps its player, which hears nothing.
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(host.LoadNextAnsi(lister_, opened.View, "C:\\videos\\next.avi"), 1);
  EXPECT_EQ(opened.Log.ProcessIds().size(), 1u) << "no player started";
  EXPECT_EQ(TestWorkspace::RunningChildProcesses().size(), 1u);
  SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(opened.Log.WaitForInput("pause\n")) << opened.Log.StandardInput();
  host.CloseWindow(opened.View);
}

TEST_F(Exports, NothingOpensBeforeDefaultParams) {
  workspace_.WriteDefaultSettings();
  PluginHost& host = workspace_.LoadPlugin(false);
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  EXPECT_EQ(opened.View, nullptr);
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
  EXPECT_FALSE(opened.Log.Started());
  EXPECT_FALSE(ClassRegistered(host.Module()));
}

TEST_F(Exports, WindowClassIsRegisteredOnceAndRemovedAtUnload) {
  PluginHost& host = LoadWithDefaultSettings();
  const HMODULE module = host.Module();
  WNDCLASSW info{};
  ASSERT_TRUE(GetClassInfoW(module, L"MPWinClass", &info));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_OWNDC));
  EXPECT_EQ(info.cbClsExtra, 0);
  EXPECT_EQ(info.cbWndExtra, static_cast<int>(sizeof(void*)));
  EXPECT_EQ(info.hbrBackground, nullptr);
  EXPECT_EQ(info.lpszMenuName, nullptr);
  EXPECT_EQ(info.hIcon, LoadIconW(nullptr, IDI_WINLOGO));
  EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));

  // A later call registers nothing: a class removed in between stays removed.
  ASSERT_TRUE(UnregisterClassW(L"MPWinClass", module));
  host.SetDefaultParams();
  EXPECT_FALSE(ClassRegistered(module));
  ASSERT_TRUE(RegisterClassW(&info));  // put back, so that unloading has something to remove
  host.Unload();
  EXPECT_FALSE(ClassRegistered(module));
}

TEST_F(Exports, UnloadWithoutDefaultParamsUnregistersNothing) {
  workspace_.WriteDefaultSettings();
  PluginHost& host = workspace_.LoadPlugin(false);
  const HMODULE module = host.Module();
  // A class of that name registered by someone else under the module's handle survives the unload.
  WNDCLASSW foreign{};
  foreign.lpfnWndProc = DefWindowProcW;
  foreign.hInstance = module;
  foreign.lpszClassName = L"MPWinClass";
  ASSERT_TRUE(RegisterClassW(&foreign));
  host.Unload();
  EXPECT_TRUE(ClassRegistered(module));
  UnregisterClassW(L"MPWinClass", module);
}

TEST_F(Exports, ViewWindowIsAVisibleChildWithTheFocus) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  wchar_t className[64] = {}, title[64] = {};
  GetClassNameW(opened.View, className, 64);
  GetWindowTextW(opened.View, title, 64);
  EXPECT_STREQ(className, L"MPWinClass");
  EXPECT_STREQ(title, L"MPWin");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(opened.View, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
            static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(GetWindowLongPtrW(opened.View, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
  EXPECT_EQ(GetParent(opened.View), lister_);
  EXPECT_EQ(GetFocus(), opened.View);
  RECT rect{};
  GetWindowRect(opened.View, &rect);
  EXPECT_EQ(rect.right - rect.left, 0);
  EXPECT_EQ(rect.bottom - rect.top, 0);
  host.CloseWindow(opened.View);
  EXPECT_FALSE(IsWindow(opened.View));
}

// The 32-bit file manager calls __stdcall exports, which remove their own
// arguments; one that left them (cdecl) would shift the host's stack at every call.
TEST_F(Exports, EveryExportRemovesItsOwnArgumentsFromA32BitHostsStack) {
  if (sizeof(void*) == 8) GTEST_SKIP() << "x86-64 has one calling convention";
  for (const StackMove& move : StackMovesOfEveryExport(workspace_, lister_)) EXPECT_EQ(move.Moved, 0) << move.Export;
}

// The same with the control whose exports are cdecl: the test above can fail.
TEST(ExportsControl, CdeclExportsLeaveTheirArgumentsOnTheStack) {
  if (sizeof(void*) == 8) GTEST_SKIP() << "x86-64 has one calling convention";
  HWND lister = CreateFreeListerWindow();
  {
    TestWorkspace workspace(PluginFileName(L"reelpane-cdecl"));
    for (const StackMove& move : StackMovesOfEveryExport(workspace, lister)) {
      EXPECT_EQ(move.Moved, -move.ArgumentBytes) << move.Export;
    }
  }
  DestroyListerWindow(lister);
}

TEST_F(Exports, VersionResourceNamesReelpane) {
  const std::wstring plugin = workspace_.PluginPath();
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeW(plugin.c_str(), &ignored));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(GetFileVersionInfoW(plugin.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00000004u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00000004u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(VersionString(plugin, L"FileDescription"), L"reelpane");
  EXPECT_EQ(VersionString(plugin, L"ProductName"), L"reelpane");
  EXPECT_EQ(VersionString(plugin, L"FileVersion"), L"0.4.0.0");
  EXPECT_EQ(VersionString(plugin, L"ProductVersion"), L"0.4.0.0");
}

// A host whose memory is nearly used up: any allocation inside an export may
// fail, and the C++ run-time then throws inside the plugin. Every export catches
// it and gives its failure value; the host goes on, and nothing of the call is
// left (no window, no player). Each call is made with the allocation after 0, 1,
// 2, 3, 5, 8, ... successful ones failing, until a call makes no more than that.
TEST_F(Exports, AnAllocationFailingInsideAnExportGivesItsFailureValueAndLeavesNothing) {
  PluginHost& host = LoadWithDefaultSettings(L"normal");
  const std::wstring video = JoinPath(workspace_.Folder(), L"clip.avi");
  WriteFileBytes(video, "not a video");
  ASSERT_TRUE(WritePng(video + L".png", QuartersPicture(64, 48, {0xE02020, 0x20C020, 0x2020E0, 0xE0E020})));
  PluginCallSpy spy(host.Module());
  ASSERT_TRUE(spy.Attached());
  // Runs |call| with one allocation failing after each count in turn. |call|
  // gives the number of players that may run afterwards (an open view's).
  const auto withFailures = [&](const char* what, const std::function<size_t()>& call) {
    int failing = 0;
    for (long allowed = 0, next = 1;; std::tie(allowed, next) = std::pair(next, allowed + next)) {
      spy.RefuseAllocationAfter(allowed);
      const size_t players = call();
      const long refused = spy.RefusedAllocations();
      spy.RefuseAllocationAfter(-1);
      EXPECT_TRUE(WaitUntil([&] { return TestWorkspace::RunningChildProcesses().size() <= players; }))
          << what << ", failing after " << allowed << ": a player was left";
      if (refused == 0) break;
      ++failing;
    }
    std::printf("%s: failed %d times, at the allocation after 0, 1, 2, 3, 5, ... others\n", what, failing);
    EXPECT_GT(failing, 0) << what;
  };

  withFailures("ListLoadW", [&] {
    const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
    if (opened.View != nullptr) {
      spy.RefuseAllocationAfter(-1);
      host.CloseWindow(opened.View);
    }
    EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr) << "no view window is left";
    return size_t{0};
  });
  withFailures("ListGetPreviewBitmapW", [&] {
    const TakenThumbnail taken = workspace_.Thumbnail(IdentifyScript(64, 48) + "image\nexit 0\n", video, 64, 64);
    DeleteObject(taken.Bitmap);
    return size_t{0};
  });
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  withFailures("ListLoadNextW", [&] {
    const LoadedNext next = workspace_.OpenNext(lister_, opened.View, IdentifyScript(320, 240));
    EXPECT_TRUE(next.Result == 0 || next.Result == 1) << next.Result;
    return size_t{next.Result == 0 ? 1u : 0u};  // the view's new player
  });
  host.CloseWindow(opened.View);
}
