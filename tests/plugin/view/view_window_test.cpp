// The view window itself: its colour-key paint, WM_CLOSE, keys that find no
// record, and a view the host has subclassed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bitmap_info.h"
#include "host_test.h"
#include "plugin_call_spy.h"
#include "window_messages.h"

namespace {

constexpr std::uint32_t kColorKey = 0x101010;  // red, green and blue all 16
constexpr std::uint32_t kWhite = 0xFFFFFF;

LRESULT Press(HWND view, WPARAM key) { return SendMessageW(view, WM_KEYDOWN, key, 1); }

// A 32-bit top-down bitmap in a memory device context, filled white: the paint
// target whose pixels can be read back headless.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
    const BITMAPINFO info = TopDown32BitInfo(width, height);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<std::uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    Clear();
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  ~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }

  HDC Dc() const { return dc_; }
  bool Ready() const { return pixels_ != nullptr; }
  void Clear() { std::fill(pixels_, pixels_ + width_ * height_, kWhite); }
  std::uint32_t Pixel(int x, int y) const { return pixels_[y * width_ + x] & 0xFFFFFF; }
  // The pixels of one colour inside [0, right) x [0, bottom).
  int Count(std::uint32_t color, int right, int bottom) const {
    int count = 0;
    for (int y = 0; y < bottom; ++y) {
      for (int x = 0; x < right; ++x) count += Pixel(x, y) == color ? 1 : 0;
    }
    return count;
  }

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
};

class ViewWindow : public HostTest {
 protected:
  OpenedView OpenVideo(const std::string& script = IdentifyScript(640, 480)) {
    LoadWithDefaultSettings();
    return workspace_.Open(lister_, script);
  }
  PluginHost& Host() { return workspace_.Host(); }
};

// Paint.

TEST_F(ViewWindow, FrameMessageFillsTheClientAreaWithTheColourKey) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MoveWindow(opened.View, 0, 0, 320, 240, FALSE);  // the host sizes the view
  // Window pixels can't be read under the null display driver: the paint goes to a canvas.
  Canvas canvas(360, 280);
  ASSERT_TRUE(canvas.Ready());
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());
  spy.PaintInto(canvas.Dc());

  EXPECT_EQ(SendMessageW(opened.View, WM_NCPAINT, 1, 0), 0);
  EXPECT_EQ(canvas.Count(kColorKey, 320, 240), 320 * 240);
  EXPECT_EQ(canvas.Count(kWhite, 360, 280), 360 * 280 - 320 * 240) << "nothing outside the client area";
  EXPECT_EQ(spy.DefaultProcessingOf(WM_NCPAINT), 0u);

  // One fresh brush of the colour key, deleted after the paint has ended.
  std::vector<std::string> order;
  for (const SpiedCall& call : spy.Calls()) {
    if (call.Function != "DefWindowProcW") order.push_back(call.Function);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"BeginPaint", "CreateSolidBrush", "FillRect", "EndPaint", "DeleteObject"}));
  const std::vector<SpiedCall> brushes = spy.CallsTo("CreateSolidBrush");
  const std::vector<SpiedCall> fills = spy.CallsTo("FillRect");
  const std::vector<SpiedCall> deletes = spy.CallsTo("DeleteObject");
  ASSERT_EQ(brushes.size(), 1u);
  ASSERT_EQ(fills.size(), 1u);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_EQ(brushes[0].Color, kColorKey);
  EXPECT_EQ(fills[0].Object, brushes[0].Object);
  EXPECT_EQ(deletes[0].Target, brushes[0].Object);
  const RECT& filled = fills[0].Rect;
  EXPECT_EQ(std::vector<LONG>({filled.left, filled.top, filled.right, filled.bottom}),
            std::vector<LONG>({0, 0, 320, 240}));

  // A resized view is filled to its new size; paints need no record.
  MoveWindow(opened.View, 0, 0, 200, 100, FALSE);
  const LONG_PTR record = GetWindowLongPtrW(opened.View, GWLP_USERDATA);
  SetWindowLongPtrW(opened.View, GWLP_USERDATA, 0);
  canvas.Clear();
  EXPECT_EQ(SendMessageW(opened.View, WM_NCPAINT, 1, 0), 0);
  SetWindowLongPtrW(opened.View, GWLP_USERDATA, record);
  EXPECT_EQ(canvas.Count(kColorKey, 200, 100), 200 * 100);
  EXPECT_EQ(canvas.Count(kWhite, 360, 280), 360 * 280 - 200 * 100);

  spy.PaintInto(nullptr);
  Host().CloseWindow(opened.View);
}

TEST_F(ViewWindow, PaintMessageAloneDrawsNothing) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MoveWindow(opened.View, 0, 0, 320, 240, FALSE);
  ValidateRect(opened.View, nullptr);
  Canvas canvas(320, 240);
  ASSERT_TRUE(canvas.Ready());
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());
  spy.PaintInto(canvas.Dc());

  SendMessageW(opened.View, WM_PAINT, 0, 0);
  EXPECT_EQ(spy.DefaultProcessingOf(WM_PAINT), 1u);
  EXPECT_TRUE(spy.CallsTo("BeginPaint").empty());
  EXPECT_TRUE(spy.CallsTo("CreateSolidBrush").empty());
  EXPECT_TRUE(spy.CallsTo("FillRect").empty());
  EXPECT_EQ(canvas.Count(kWhite, 320, 240), 320 * 240);

  spy.PaintInto(nullptr);
  Host().CloseWindow(opened.View);
}

TEST_F(ViewWindow, ManyPaintsLeaveNoGdiObjectBehind) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MoveWindow(opened.View, 0, 0, 64, 48, FALSE);
  SendMessageW(opened.View, WM_NCPAINT, 1, 0);  // whatever a first paint sets up once
  const DWORD gdiObjectsBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  constexpr size_t kPaints = 2000;
  for (size_t i = 0; i < kPaints; ++i) SendMessageW(opened.View, WM_NCPAINT, 1, 0);

  const std::vector<SpiedCall> brushes = spy.CallsTo("CreateSolidBrush");
  ASSERT_EQ(brushes.size(), kPaints);
  std::vector<void*> made, deleted;
  for (const SpiedCall& call : brushes) made.push_back(call.Object);
  for (const SpiedCall& call : spy.CallsTo("DeleteObject")) deleted.push_back(call.Target);
  EXPECT_EQ(deleted, made) << "every brush deleted, in the paint that made it";
  for (void* brush : made) ASSERT_EQ(GetObjectType(brush), 0u);
  // Wine counts no GDI objects here (it reports 0); Windows does.
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjectsBefore);
  Host().CloseWindow(opened.View);
}

// WM_CLOSE.

TEST_F(ViewWindow, CloseMessageLeavesTheViewInPlaceAndQuitsNothing) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder lister(lister_);
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  EXPECT_EQ(SendMessageW(opened.View, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(QuitPosted()) << "a quit message would end the file manager's own loop";
  PostMessageW(opened.View, WM_CLOSE, 0, 0);
  EXPECT_EQ(DispatchQueued(opened.View, WM_CLOSE), 1);
  EXPECT_FALSE(QuitPosted());

  EXPECT_TRUE(IsWindow(opened.View));
  EXPECT_EQ(GetParent(opened.View), lister_);
  EXPECT_EQ(spy.DefaultProcessingOf(WM_CLOSE), 0u);
  EXPECT_TRUE(spy.CallsTo("PostMessageW").empty());
  EXPECT_EQ(DispatchQueued(lister_, WM_CLOSE), 0);
  EXPECT_EQ(lister.Count(WM_CLOSE), 0u);

  EXPECT_EQ(Press(opened.View, VK_SPACE), 0);  // the view still works, the player heard nothing else
  EXPECT_TRUE(opened.Log.WaitForInput("pause\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

// Keys that find no record.

TEST_F(ViewWindow, KeyOnAViewWithoutRecordIsIgnored) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder lister(lister_);
  PluginCallSpy spy(Host().Module());
  ASSERT_TRUE(spy.Attached());

  const LONG_PTR record = GetWindowLongPtrW(opened.View, GWLP_USERDATA);
  SetWindowLongPtrW(opened.View, GWLP_USERDATA, 0);
  for (WPARAM key : {WPARAM{VK_SPACE}, WPARAM{'H'}, WPARAM{'M'}, WPARAM{'I'}, WPARAM{'Q'}}) EXPECT_EQ(Press(opened.View, key), 0);
  SetWindowLongPtrW(opened.View, GWLP_USERDATA, record);
  PumpMessages(20);
  EXPECT_TRUE(spy.CallsTo("WriteFile").empty());
  EXPECT_TRUE(spy.CallsTo("PostMessageW").empty());
  EXPECT_EQ(spy.DefaultProcessingOf(WM_KEYDOWN), 0u);
  EXPECT_EQ(lister.Count(WM_CLOSE), 0u);

  // The toggles did not move either.
  EXPECT_EQ(Press(opened.View, 'H'), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("loop 1\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

TEST_F(ViewWindow, KeysThatArriveWhileTheViewOpensAreIgnored) {
  // While the host's thread waits for the identification lines it answers sent
  // messages: a player's window can pass keys on before the record is stored.
  const OpenedView opened = OpenVideo("key 32\nkey 81\nkey 72\n" + IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const std::vector<std::string> events = opened.Log.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "key-answered"), 3);
  MessageRecorder lister(lister_);
  PumpMessages(20);
  EXPECT_EQ(lister.Count(WM_CLOSE), 0u);

  EXPECT_EQ(Press(opened.View, 'H'), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("loop 1\n")) << opened.Log.StandardInput();
  Host().CloseWindow(opened.View);
}

// A host may subclass the window it is given.

TEST_F(ViewWindow, SubclassedViewStillTakesKeysAndCloses) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder view(opened.View);

  EXPECT_EQ(Press(opened.View, VK_SPACE), 0);
  EXPECT_EQ(view.Count(WM_KEYDOWN), 1u);
  EXPECT_EQ(Host().SendCommand(opened.View, 2), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("pause\nvo_fullscreen\n")) << opened.Log.StandardInput();

  Host().CloseWindow(opened.View);
  EXPECT_FALSE(IsWindow(opened.View));
  EXPECT_TRUE(opened.Log.WaitForEvent("exit"));
  EXPECT_EQ(opened.Log.StandardInput(), "pause\nvo_fullscreen\nquit\n");
}

}  // namespace
