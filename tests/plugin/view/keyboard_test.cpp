// Keys in the view window: each one's slave command at the player's standard
// input, the loop and mute toggles, the progress display and the quit key.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host_test.h"
#include "player_context.h"
#include "plugin_call_spy.h"
#include "window_messages.h"

namespace {

// lParam of a key message: the repeat count in the low word, bit 29 for Alt
// held, bit 30 for a key that was already down (auto-repeat).
constexpr LPARAM kFirstPress = 1;
constexpr LPARAM kAutoRepeat = 1 | (1 << 30);
constexpr LPARAM kAltHeld = 1 | (1 << 29);

struct KeyCommand {
  WPARAM Key;
  const char* Name;
  std::string Command;
  bool AsksSound = false;  // a volume change, followed by its own write of the question
};

// MPlayer's question after a volume change: its answers carry the level and the muting.
const std::string kAskSound = "pausing_keep_force get_property volume\npausing_keep_force get_property mute\n";

// The keys in the order of the key table, each with what its first press sends in
// a new view. Q comes last: it makes the stand-in player quit.
const std::vector<KeyCommand> kKeyTable = {
    {VK_BACK, "Backspace", "speed_set 1"},
    {VK_SPACE, "Space", "pause"},
    {VK_LEFT, "Left", "seek -10"},
    {VK_UP, "Up", "seek +60"},
    {VK_RIGHT, "Right", "seek +10"},
    {VK_DOWN, "Down", "seek -60"},
    {'0', "0", "volume +1", true},
    {'9', "9", "volume -1", true},
    {'H', "H", "loop 1"},
    {'I', "I", "osd_show_progression"},
    {'J', "J", "sub_select"},
    {'M', "M", "mute 1"},
    {VK_MULTIPLY, "keypad *", "volume +1", true},
    {VK_DIVIDE, "keypad /", "volume -1", true},
    {VK_OEM_1, "; :", "brightness -1"},
    // , (one frame back) is a key MPlayer is not told: it sends nothing, as a key outside the table.
    {VK_OEM_PERIOD, ". >", "frame_step"},
    {VK_OEM_4, "[ {", "speed_mult 0.9091"},
    {VK_OEM_6, "] }", "speed_mult 1.1"},
    {VK_OEM_7, "' \"", "brightness +1"},
    {'Q', "Q", "quit"},
};

LRESULT Press(HWND view, WPARAM key, LPARAM lParam = kFirstPress) { return SendMessageW(view, WM_KEYDOWN, key, lParam); }


DWORD BytesPending(HANDLE pipe) {
  DWORD pending = 0;
  PeekNamedPipe(pipe, nullptr, 0, nullptr, &pending, nullptr);
  return pending;
}

class Keyboard : public HostTest {
 protected:
  OpenedView OpenVideo(const std::string& extraScript = "", HWND lister = nullptr,
                       const std::wstring& fileName = L"C:\\videos\\clip.avi") {
    if (!loaded_) LoadWithDefaultSettings();
    loaded_ = true;
    return workspace_.Open(lister != nullptr ? lister : lister_, IdentifyScript(640, 480) + extraScript, fileName);
  }
  PluginHost& Host() { return workspace_.Host(); }

 private:
  bool loaded_ = false;
};

TEST_F(Keyboard, EveryKeyOfTheTableSendsExactlyItsCommand) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  const HANDLE commandPipe = StoredContext(opened.View).CommandPipe;
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  std::string expected;
  for (const KeyCommand& key : kKeyTable) {
    SCOPED_TRACE(key.Name);
    spy.Clear();
    EXPECT_EQ(Press(opened.View, key.Key), 0);
    // One write per key, of the command and one line feed: no carriage return, no NUL;
    // a volume change then asks for the level in a write of its own.
    const std::vector<SpiedCall> writes = spy.CallsTo("WriteFile");
    ASSERT_EQ(writes.size(), key.AsksSound ? 2u : 1u);
    EXPECT_EQ(writes[0].Target, commandPipe);
    EXPECT_EQ(writes[0].Bytes, key.Command + "\n");
    if (key.AsksSound) {
      EXPECT_EQ(writes[1].Bytes, kAskSound);
    }
    EXPECT_EQ(spy.DefaultProcessingOf(WM_KEYDOWN), 0u);
    expected += key.Command + "\n" + (key.AsksSound ? kAskSound : "");
  }
  EXPECT_TRUE(opened.Log.WaitForInput(expected)) << opened.Log.StandardInput();
  EXPECT_TRUE(opened.Log.WaitForEvent("exit"));
  PumpMessages(20);  // Q's close request, which the stand-in Lister ignores
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, KeysComeThroughTheHostsMessageLoop) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  // Queued as the system queues input; the host's loop translates them, which adds
  // WM_CHAR messages for the letters: those send nothing.
  for (WPARAM key : {WPARAM{VK_SPACE}, WPARAM{'H'}, WPARAM{'A'}, WPARAM{VK_RETURN}}) {
    PostMessageW(opened.View, WM_KEYDOWN, key, kFirstPress);
    PostMessageW(opened.View, WM_KEYUP, key, kFirstPress | (1 << 30) | (1u << 31));
  }
  PumpMessages(50);
  EXPECT_TRUE(opened.Log.WaitForInput("pause\nloop 1\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, KeysOutsideTheTableSendNothingAndTakeNoDefaultProcessing) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder lister(lister_);
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  std::vector<WPARAM> unlisted = {'A', VK_ESCAPE, VK_F1, VK_RETURN};
  for (WPARAM key = 1; key < 0x100; ++key) {
    const bool listed =
        std::any_of(kKeyTable.begin(), kKeyTable.end(), [&](const KeyCommand& row) { return row.Key == key; });
    if (!listed) unlisted.push_back(key);
  }
  for (WPARAM key : unlisted) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Press(opened.View, key), 0);
    EXPECT_EQ(Press(opened.View, key, kAutoRepeat), 0);
  }
  EXPECT_TRUE(spy.CallsTo("WriteFile").empty());
  EXPECT_TRUE(spy.CallsTo("PostMessageW").empty());
  EXPECT_EQ(spy.DefaultProcessingOf(WM_KEYDOWN), 0u);
  PumpMessages(20);
  EXPECT_EQ(lister.Count(WM_CLOSE), 0u);
  EXPECT_EQ(lister.Count(WM_SYSCOMMAND), 0u);

  EXPECT_EQ(Press(opened.View, VK_SPACE), 0);  // the first bytes the player gets
  EXPECT_TRUE(opened.Log.WaitForInput("pause\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, ModifierKeysAreNotLookedAt) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);

  // Shift as the system reports it while the key is held.
  BYTE saved[256] = {};
  GetKeyboardState(saved);
  BYTE held[256] = {};
  std::copy(std::begin(saved), std::end(saved), std::begin(held));
  held[VK_SHIFT] = held[VK_LSHIFT] = 0x80;
  SetKeyboardState(held);
  ASSERT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
  EXPECT_EQ(Press(opened.View, VK_RIGHT), 0);
  held[VK_SHIFT] = held[VK_LSHIFT] = 0;
  held[VK_CONTROL] = held[VK_LCONTROL] = 0x80;
  SetKeyboardState(held);
  EXPECT_EQ(Press(opened.View, VK_SPACE), 0);
  SetKeyboardState(saved);

  // Shift as its own key press first, as the window receives it.
  EXPECT_EQ(Press(opened.View, VK_SHIFT), 0);
  EXPECT_EQ(Press(opened.View, VK_SHIFT, kAutoRepeat), 0);
  EXPECT_EQ(Press(opened.View, VK_RIGHT), 0);

  EXPECT_TRUE(opened.Log.WaitForInput("seek +10\npause\nseek +10\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, HeldKeySendsItsCommandOncePerMessage) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);

  EXPECT_EQ(Press(opened.View, VK_UP, kFirstPress), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Press(opened.View, VK_UP, kAutoRepeat), 0);
  // A message that stands for three repeats still sends the command once.
  EXPECT_EQ(Press(opened.View, VK_UP, 3 | (1 << 30)), 0);

  std::string expected;
  for (int i = 0; i < 6; ++i) expected += "seek +60\n";
  EXPECT_TRUE(opened.Log.WaitForInput(expected)) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, AltCombinationsTakeTheDefaultProcessingAndSendNothing) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder lister(lister_);
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  // Alt+Space, Alt+Q and Alt+H would send commands without Alt.
  EXPECT_EQ(SendMessageW(opened.View, WM_SYSKEYDOWN, VK_SPACE, kAltHeld), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_SYSKEYDOWN, 'Q', kAltHeld), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_SYSKEYDOWN, 'H', kAltHeld), 0);
  // Alt+F4's default processing asks the top-level window, the Lister, to close.
  SendMessageW(opened.View, WM_SYSKEYDOWN, VK_F4, kAltHeld);
  EXPECT_EQ(spy.DefaultProcessingOf(WM_SYSKEYDOWN), 4u);
  EXPECT_TRUE(spy.CallsTo("WriteFile").empty());
  PumpMessages(20);
  EXPECT_EQ(lister.Count(WM_SYSCOMMAND, SC_CLOSE), 1u);

  EXPECT_EQ(Press(opened.View, 'H'), 0);  // looping was not switched by Alt+H
  EXPECT_TRUE(opened.Log.WaitForInput("loop 1\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

// Loop and mute toggles.

TEST_F(Keyboard, LoopAndMuteToggleFromOff) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  for (WPARAM key : {'H', 'H', 'H', 'M', 'M'}) EXPECT_EQ(Press(opened.View, key), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("loop 1\nloop -1\nloop 1\nmute 1\nmute 0\n")) << opened.Log.StandardInput();
  EXPECT_TRUE(StoredContext(opened.View).Looping);
  EXPECT_FALSE(StoredContext(opened.View).Muted);
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, EachViewKeepsItsOwnToggles) {
  HWND otherLister = CreateFreeListerWindow();
  const OpenedView first = OpenVideo();
  const OpenedView second = OpenVideo("", otherLister, L"C:\\videos\\other.mkv");
  ASSERT_NE(first.View, nullptr);
  ASSERT_NE(second.View, nullptr);

  Press(first.View, 'H');
  Press(first.View, 'M');
  Press(second.View, 'H');
  Press(first.View, 'H');
  Press(second.View, 'M');
  Press(second.View, 'M');
  Press(second.View, 'H');

  EXPECT_TRUE(first.Log.WaitForInput("loop 1\nmute 1\nloop -1\n")) << first.Log.StandardInput();
  EXPECT_TRUE(second.Log.WaitForInput("loop 1\nmute 1\nmute 0\nloop -1\n")) << second.Log.StandardInput();
  Host().CloseWindow(second.View);
  Host().CloseWindow(first.View);
  DestroyListerWindow(otherLister);
}

// Looping starts off in every new view; muting is remembered: the next view's
// player is muted at its start, and its first M unmutes.
TEST_F(Keyboard, EveryNewViewStartsWithLoopOffAndMutingAsTheLastLeftIt) {
  const OpenedView first = OpenVideo();
  ASSERT_NE(first.View, nullptr);
  Press(first.View, 'H');
  Press(first.View, 'M');
  EXPECT_TRUE(first.Log.WaitForInput("loop 1\nmute 1\n"));
  Host().CloseWindow(first.View);

  const OpenedView next = OpenVideo("", nullptr, L"C:\\videos\\next.mp4");
  ASSERT_NE(next.View, nullptr);
  Press(next.View, 'H');
  Press(next.View, 'M');
  EXPECT_TRUE(next.Log.WaitForInput("mute 1\nloop 1\nmute 0\n")) << next.Log.StandardInput();
  Host().CloseWindow(next.View);
}

// I: the player's unread output is dropped, then the progress display is asked
// for. The view reads its player's output all along, so nothing waits by then.

TEST_F(Keyboard, ProgressFindsThePlayersOutputDroppedAndSendsItsCommand) {
  // More than one read of 1024 bytes, once the view is open.
  const OpenedView opened = OpenVideo("await vo_fullscreen\nflood 5000\nmark output-written\n");
  ASSERT_NE(opened.View, nullptr);
  const HANDLE outputPipe = StoredContext(opened.View).OutputPipe;
  const HANDLE commandPipe = StoredContext(opened.View).CommandPipe;
  Host().SendCommand(opened.View, 2);
  ASSERT_TRUE(opened.Log.WaitForEvent("mark output-written"));
  EXPECT_TRUE(WaitUntil([&] { return BytesPending(outputPipe) == 0; })) << BytesPending(outputPipe);

  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(Press(opened.View, 'I'), 0);
  EXPECT_LT(GetTickCount64() - start, 900u);
  std::vector<std::string> calls;
  for (const SpiedCall& call : spy.Calls()) {
    if (call.Function == "ReadFile" && call.Target == outputPipe) calls.push_back("read");
    if (call.Function == "WriteFile" && call.Target == commandPipe) calls.push_back("write " + call.Bytes);
  }
  EXPECT_EQ(calls, std::vector<std::string>{"write osd_show_progression\n"});
  EXPECT_TRUE(opened.Log.WaitForInput("vo_fullscreen\nosd_show_progression\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

TEST_F(Keyboard, ProgressReturnsWhileThePlayerKeepsWriting) {
  // The player writes without end: there is always something pending when I comes.
  const OpenedView opened = OpenVideo("await vo_fullscreen\nflood 200000000\n");
  ASSERT_NE(opened.View, nullptr);
  Host().SendCommand(opened.View, 2);
  ASSERT_TRUE(opened.Log.WaitForInput("vo_fullscreen\n"));

  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(Press(opened.View, 'I'), 0);
  EXPECT_LT(GetTickCount64() - start, 900u);
  EXPECT_TRUE(opened.Log.WaitForInput("vo_fullscreen\nosd_show_progression\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

// Q: "quit" to the player, then the Lister window is asked to close.

TEST_F(Keyboard, QuitGoesToThePlayerFirstThenTheListerIsAskedToClose) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  const HANDLE commandPipe = StoredContext(opened.View).CommandPipe;
  MessageRecorder lister(lister_);
  MessageRecorder view(opened.View);
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  EXPECT_EQ(Press(opened.View, 'Q'), 0);
  std::vector<std::string> order;
  for (const SpiedCall& call : spy.Calls()) {
    if (call.Function == "WriteFile" && call.Target == commandPipe) order.push_back("write " + call.Bytes);
    if (call.Function == "PostMessageW") {
      EXPECT_EQ(call.Target, lister_);
      order.push_back("post " + std::to_string(call.Message));
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"write quit\n", "post " + std::to_string(WM_CLOSE)}));

  // Posted, not sent: the Lister has it only once the host's loop dispatches it.
  EXPECT_EQ(lister.Count(WM_CLOSE), 0u);
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(DispatchQueued(lister_, WM_CLOSE), 1);
  EXPECT_EQ(DispatchQueued(opened.View, WM_CLOSE), 0);
  EXPECT_EQ(lister.Count(WM_CLOSE), 1u);
  EXPECT_EQ(view.Count(WM_CLOSE), 0u);
  EXPECT_TRUE(IsWindow(opened.View));

  EXPECT_TRUE(opened.Log.WaitForInput("quit\n")) << opened.Log.StandardInput();
  EXPECT_TRUE(opened.Log.WaitForEvent("exit"));

  // Until the host closes the view, keys still go to the player that has gone: dropped at once.
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(Press(opened.View, VK_SPACE), 0);
  EXPECT_EQ(Press(opened.View, 'H'), 0);
  EXPECT_LT(GetTickCount64() - start, 900u);

  Host().CloseWindow(opened.View);  // what the host does for the Lister's WM_CLOSE
  EXPECT_FALSE(IsWindow(opened.View));
}

}  // namespace
