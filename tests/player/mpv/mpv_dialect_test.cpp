// What differs for mpv, as pure functions: its command line, the reading of
// mpv's JSON lines and its identification. (Each key's command for each player:
// Keyboard.* and MpvPlayer.* through the exports.)
#include "mpv_dialect.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "mpv_messages.h"

namespace {

const std::wstring kPipe = L"\\\\.\\pipe\\reelpane-12-3-456";

std::wstring MpvLine(std::wstring_view path, std::wstring_view params, std::uintptr_t view, std::wstring_view file) {
  return ComposeMpvCommandLine({path, params, false, L"ignored", file, kPipe, view});
}

std::string Feed(MpvIdentification& identification, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  identification.OnRead(text);
  return text;
}

// The message a line gives, or nothing.
std::optional<MpvMessage> Parse(std::string_view line) {
  MpvMessage message;
  if (!ParseMpvMessage(line, message)) return std::nullopt;
  return message;
}

std::string SizeEvent(const char* name, const std::string& data) {
  return std::string("{\"event\":\"property-change\",\"id\":1,\"name\":\"") + name + "\",\"data\":" + data + "}";
}

}  // namespace

TEST(MpvCommandLine, PipeWindowInputOptionsAndTheFileAfterTheEndOfOptions) {
  EXPECT_EQ(MpvLine(L"C:\\mpv\\mpv.exe", L"", 0x30062, L"C:\\v\\a.avi"),
            L"C:\\mpv\\mpv.exe --input-ipc-server=\\\\.\\pipe\\reelpane-12-3-456 --wid=196706 "
            L"--input-default-bindings=no --input-vo-keyboard=no --input-cursor=no --osc=no -- C:\\v\\a.avi");
  // Blanks are quoted; the user's options come first, as they stand, so that the
  // options embedding needs win over them.
  EXPECT_EQ(MpvLine(L"C:\\Program Files\\mpv\\mpv.exe", L" --hwdec=no --vf=hflip", 0x30062, L"C:\\my v\\-a b.avi"),
            L"\"C:\\Program Files\\mpv\\mpv.exe\" --hwdec=no --vf=hflip --input-ipc-server=\\\\.\\pipe\\reelpane-12-3-456 "
            L"--wid=196706 --input-default-bindings=no --input-vo-keyboard=no --input-cursor=no --osc=no -- "
            L"\"C:\\my v\\-a b.avi\"");
  // Embedded or not makes no difference to mpv.
  EXPECT_EQ(ComposeMpvCommandLine({L"mpv.exe", L"", true, L"", L"a.avi", kPipe, 0x30062}),
            ComposeMpvCommandLine({L"mpv.exe", L"", false, L"", L"a.avi", kPipe, 0x30062}));
}

TEST(MpvCommandLine, ViewHandleIsAnUnsigned32BitDecimalInBothBuilds) {
  // A handle with bit 31 set, as the 64-bit build holds it (sign-extended) and as the 32-bit build does.
  const std::wstring expected = L" --wid=2147483664 ";
  EXPECT_NE(MpvLine(L"mpv.exe", L"", static_cast<std::uintptr_t>(0xFFFFFFFF80000010ull), L"a.avi").find(expected),
            std::wstring::npos);
  EXPECT_NE(MpvLine(L"mpv.exe", L"", 0x80000010u, L"a.avi").find(expected), std::wstring::npos);
  EXPECT_NE(MpvLine(L"mpv.exe", L"", 0xFFFFFFFFu, L"a.avi").find(L" --wid=4294967295 "), std::wstring::npos);
}

TEST(MpvMessages, EventsRepliesAndTheKindsOfData) {
  const auto width = Parse(R"({"event":"property-change","id":1,"name":"dwidth","data":640})");
  ASSERT_TRUE(width.has_value());
  EXPECT_EQ(width->Event, "property-change");
  EXPECT_EQ(width->Name, "dwidth");
  EXPECT_EQ(width->Data, MpvDataKind::Integer);
  EXPECT_EQ(width->Integer, 640);

  const auto unavailable = Parse(R"({"event":"property-change","id":1,"name":"dwidth"})");
  ASSERT_TRUE(unavailable.has_value());
  EXPECT_EQ(unavailable->Data, MpvDataKind::Missing);

  const auto reply = Parse(R"( { "request_id" : 0 , "error" : "success" } )");
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->Event.empty());

  const auto end = Parse(
      R"({"event":"end-file","reason":"error","playlist_entry_id":1,"file_error":"unrecognized file format"})");
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->Reason, "error");

  EXPECT_EQ(Parse(R"({"data":false})")->Data, MpvDataKind::Flag);
  EXPECT_FALSE(Parse(R"({"data":false})")->Flag);
  EXPECT_TRUE(Parse(R"({"data":true})")->Flag);
  EXPECT_EQ(Parse(R"({"data":null})")->Data, MpvDataKind::Null);
  EXPECT_EQ(Parse(R"({"data":2.003000})")->Data, MpvDataKind::OtherNumber);
  EXPECT_EQ(Parse(R"({"data":1e3})")->Data, MpvDataKind::OtherNumber);
  EXPECT_EQ(Parse(R"({"data":-9223372036854775808})")->Integer, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Parse(R"({"data":9223372036854775808})")->Data, MpvDataKind::OtherNumber);
  EXPECT_EQ(Parse(R"({"data":99999999999999999999999})")->Data, MpvDataKind::OtherNumber);
  EXPECT_EQ(Parse(R"({"data":"a\"b\\c\/\n\u00fc\ud800"})")->Text, "a\"b\\c/\n??");
  // Objects and arrays are passed over whole, brackets in their strings included.
  const auto nested = Parse(R"({"data":[{"x":"]}"},[1,2]],"name":"track-list","event":"property-change"})");
  ASSERT_TRUE(nested.has_value());
  EXPECT_EQ(nested->Data, MpvDataKind::Composite);
  EXPECT_EQ(nested->Name, "track-list");
}

TEST(MpvMessages, AnythingElseGivesNothing) {
  for (const char* bad : {"", "quit", "{", "}", "[1]", R"({"event"})", R"({"event":})", R"({"event":1})",
                          R"({"event":"end-file")", R"({"event":"end-file"} x)", R"({"data":tru})", R"({"data":-})",
                          R"({"data":"unterminated})", R"({"data":"\u12"})", R"({"data":[1,2})", R"({,})",
                          "{\"data\":1,}"}) {
    EXPECT_FALSE(Parse(bad).has_value()) << bad;
  }
}

// Lines real mpv 0.35.1 wrote for samples of tools/make-samples (tests/native/check_mpv.py asks the live one).
TEST(MpvIdentification, WhatRealMpvReportsForAVideoAnAudioFileAndAFileItCannotPlay) {
  MpvIdentification video;
  Feed(video, {R"({"request_id":0,"error":"success"})", R"({"event":"property-change","id":1,"name":"dwidth"})",
               R"({"event":"property-change","id":2,"name":"dheight"})",
               R"({"event":"property-change","id":3,"name":"vid","data":"auto"})",
               R"({"event":"property-change","id":4,"name":"idle-active","data":false})",
               R"({"event":"start-file","playlist_entry_id":1})", R"({"event":"file-loaded"})",
               R"({"event":"property-change","id":3,"name":"vid","data":1})", R"({"event":"video-reconfig"})"});
  EXPECT_FALSE(video.Done());
  Feed(video, {R"({"event":"property-change","id":1,"name":"dwidth","data":640})"});
  EXPECT_FALSE(video.Done());
  Feed(video, {R"({"event":"property-change","id":2,"name":"dheight","data":360})", R"({"event":"playback-restart"})"});
  EXPECT_TRUE(video.Done());
  EXPECT_EQ(video.Result(), (VideoSize{640, 360}));

  MpvIdentification audio;
  Feed(audio, {R"({"event":"property-change","id":3,"name":"vid","data":"auto"})", R"({"event":"file-loaded"})"});
  EXPECT_FALSE(audio.Done());
  Feed(audio, {R"({"event":"property-change","id":3,"name":"vid","data":false})"});
  EXPECT_TRUE(audio.Done());
  EXPECT_EQ(audio.Result(), (VideoSize{0, 0}));

  MpvIdentification corrupt;
  Feed(corrupt, {R"({"event":"start-file","playlist_entry_id":1})",
                 R"({"event":"end-file","reason":"error","playlist_entry_id":1,"file_error":"unrecognized file format"})"});
  EXPECT_TRUE(corrupt.Done());
  EXPECT_EQ(corrupt.Result(), (VideoSize{-1, -1}));
}

TEST(MpvIdentification, EndingsIdlenessAndExitCodes) {
  MpvIdentification idle;  // an idle=yes configuration keeps mpv up after a file it cannot play
  Feed(idle, {R"({"event":"property-change","id":4,"name":"idle-active","data":true})"});
  EXPECT_EQ(idle.Result(), (VideoSize{-1, -1}));

  MpvIdentification exited;
  exited.OnEnded(kMpvCannotPlayExitCode);
  EXPECT_TRUE(exited.Done());
  EXPECT_EQ(exited.Result(), (VideoSize{-1, -1}));

  MpvIdentification endedWithAWidth;
  Feed(endedWithAWidth, {SizeEvent("dwidth", "320")});
  endedWithAWidth.OnEnded(0);
  EXPECT_EQ(endedWithAWidth.Result(), (VideoSize{320, 0}));

  MpvIdentification endOfFile;
  Feed(endOfFile, {R"({"event":"end-file","reason":"eof","playlist_entry_id":1})"});
  EXPECT_TRUE(endOfFile.Done());
  EXPECT_EQ(endOfFile.Result(), (VideoSize{0, 0}));

  MpvIdentification noTrack;  // "no", as the option is written
  Feed(noTrack, {R"({"event":"property-change","id":3,"name":"vid","data":"no"})"});
  EXPECT_TRUE(noTrack.Done());

  MpvIdentification unknownExit;
  unknownExit.OnEnded(std::nullopt);
  EXPECT_EQ(unknownExit.Result(), (VideoSize{0, 0}));
}

TEST(MpvIdentification, OnlyWholePositiveSizesThatFitCount) {
  for (const char* data : {"0", "-640", "2147483648", "640.5", "\"640\"", "null", "true", "[640]"}) {
    MpvIdentification identification;
    Feed(identification, {SizeEvent("dwidth", data), SizeEvent("dheight", "480")});
    EXPECT_FALSE(identification.Done()) << data;
    EXPECT_EQ(identification.Result(), (VideoSize{0, 480})) << data;
  }
  MpvIdentification largest;
  Feed(largest, {SizeEvent("dwidth", "2147483647"), SizeEvent("dheight", "1")});
  EXPECT_EQ(largest.Result(), (VideoSize{2147483647, 1}));
  // A size that becomes unavailable again counts no more.
  MpvIdentification withdrawn;
  Feed(withdrawn, {SizeEvent("dwidth", "640"), R"({"event":"property-change","id":1,"name":"dwidth"})",
                   SizeEvent("dheight", "480")});
  EXPECT_FALSE(withdrawn.Done());
}

TEST(MpvIdentification, LinesSplitAcrossReadsAndOverlongLines) {
  MpvIdentification identification;
  const std::string text = SizeEvent("dwidth", "640") + "\n" + SizeEvent("dheight", "480") + "\n";
  for (char c : text) identification.OnRead(std::string_view(&c, 1));
  EXPECT_EQ(identification.Result(), (VideoSize{640, 480}));

  // A line beyond the cap is skipped whole; the next line counts again.
  MpvIdentification flooded;
  flooded.OnRead(std::string(R"({"event":"end-file","reason":"error","x":")"));
  flooded.OnRead(std::string(MpvIdentification::kLineCap, 'x'));
  flooded.OnRead("\"}\n" + SizeEvent("dwidth", "640") + "\n" + SizeEvent("dheight", "480") + "\n");
  EXPECT_EQ(flooded.Result(), (VideoSize{640, 480}));
  // After the answer, nothing changes it.
  flooded.OnRead(R"({"event":"end-file","reason":"error"})" "\n");
  EXPECT_EQ(flooded.Result(), (VideoSize{640, 480}));
}
