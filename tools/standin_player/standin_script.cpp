#include "standin_script.h"

#include <windows.h>

#include <cstdlib>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

size_t Number(std::string_view text) {
  return static_cast<size_t>(std::strtoull(std::string(text).c_str(), nullptr, 10));
}

// "PATH CHUNK MS": the path may hold blanks, so the numbers are taken from the end.
ReplayDirective ParseReplay(std::string_view argument) {
  ReplayDirective replay;
  const size_t lastBlank = argument.rfind(' ');
  const size_t middleBlank = lastBlank == std::string_view::npos ? lastBlank : argument.rfind(' ', lastBlank - 1);
  if (middleBlank == std::string_view::npos) {
    replay.Path = WideFromUtf8(argument);
    return replay;
  }
  replay.Path = WideFromUtf8(argument.substr(0, middleBlank));
  replay.ChunkSize = std::max<size_t>(1, Number(argument.substr(middleBlank + 1, lastBlank - middleBlank - 1)));
  replay.DelayMs = static_cast<unsigned>(Number(argument.substr(lastBlank + 1)));
  return replay;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), needed);
  return result;
}

std::string Unescape(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    const char code = text[++i];
    switch (code) {
      case 'n': bytes += '\n'; break;
      case 'r': bytes += '\r'; break;
      case 't': bytes += '\t'; break;
      case '0': bytes += '\0'; break;
      case 'x':
        if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
          bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
          i += 2;
        } else {
          bytes += code;
        }
        break;
      default: bytes += code; break;
    }
  }
  return bytes;
}

std::vector<Directive> ParseStandInScript(std::string_view script) {
  std::vector<Directive> directives;
  while (!script.empty()) {
    const size_t end = script.find('\n');
    std::string_view line = script.substr(0, end);
    script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t blank = line.find(' ');
    std::string_view word = line.substr(0, blank);
    Directive directive;
    if (word == "pipe" && blank != std::string_view::npos) {
      directive.ToPipe = true;
      line.remove_prefix(blank + 1);
      blank = line.find(' ');
      word = line.substr(0, blank);
      if (word != "write" && word != "stamped-write" && word != "repeat" && word != "flood" && word != "stop-reading" &&
          word != "resume-reading") {
        continue;
      }
    }
    const std::string_view argument = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);

    if (word == "rc-info") {
      directive.Kind = DirectiveKind::RcInfo;
      directive.Text = Unescape(argument);
    } else if (word == "rc-time") {
      directive.Kind = DirectiveKind::RcTime;
      directive.Number = Number(argument);
    } else if (word == "write" || word == "stamped-write") {
      directive.Kind = word == "write" ? DirectiveKind::Write : DirectiveKind::StampedWrite;
      directive.Text = Unescape(argument);
    } else if (word == "image" || word == "image-bytes") {
      directive.Kind = word == "image" ? DirectiveKind::Image : DirectiveKind::ImageBytes;
      if (word == "image") directive.File = WideFromUtf8(argument);
      else directive.Text = Unescape(argument);
    } else if (word == "repeat") {
      // "COUNT MS TEXT"
      const size_t countEnd = argument.find(' ');
      const size_t delayEnd = countEnd == std::string_view::npos ? countEnd : argument.find(' ', countEnd + 1);
      if (delayEnd == std::string_view::npos) continue;
      directive.Kind = DirectiveKind::Repeat;
      directive.Number = Number(argument.substr(0, countEnd));
      directive.DelayMs = static_cast<unsigned>(Number(argument.substr(countEnd + 1, delayEnd - countEnd - 1)));
      directive.Text = Unescape(argument.substr(delayEnd + 1));
    } else if (word == "replay") {
      directive.Kind = DirectiveKind::Replay;
      directive.Replay = ParseReplay(argument);
    } else if (word == "flood" || word == "sleep" || word == "exit") {
      directive.Kind = word == "flood" ? DirectiveKind::Flood : word == "sleep" ? DirectiveKind::Sleep : DirectiveKind::Exit;
      directive.Number = Number(argument);
    } else if (word == "crash") {
      directive.Kind = DirectiveKind::Crash;
    } else if (word == "exit-after-frame") {
      directive.Kind = DirectiveKind::ExitAfterFrame;
    } else if (word == "quit-code") {
      directive.Kind = DirectiveKind::QuitCode;
      directive.Number = Number(argument);
    } else if (word == "ignore-quit") {
      directive.Kind = DirectiveKind::IgnoreQuit;
    } else if (word == "stop-reading" || word == "resume-reading") {
      directive.Kind = word == "stop-reading" ? DirectiveKind::StopReading : DirectiveKind::ResumeReading;
    } else if (word == "await-file") {
      directive.Kind = DirectiveKind::AwaitFile;
      directive.Text = std::string(argument);
    } else if (word == "close-stdin") {
      directive.Kind = DirectiveKind::CloseStdin;
    } else if (word == "child-window") {
      directive.Kind = DirectiveKind::ChildWindow;
    } else if (word == "mark") {
      directive.Kind = DirectiveKind::Mark;
      directive.Text = std::string(argument);
    } else if (word == "await") {
      directive.Kind = DirectiveKind::Await;
      directive.Text = std::string(argument);
    } else if (word == "key") {
      directive.Kind = DirectiveKind::Key;
      directive.Number = Number(argument);
    } else if (word == "no-pipe" || word == "serve-pipe") {
      directive.Kind = word == "no-pipe" ? DirectiveKind::NoPipe : DirectiveKind::ServePipe;
    } else {
      continue;
    }
    directives.push_back(std::move(directive));
  }
  return directives;
}
