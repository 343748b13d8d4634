#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The "outdir" of an MPlayer "-vo" argument such as "png:outdir=%N%C:\frames:z=1",
// for the programs that stand in for MPlayer: where its value lies in the
// argument (the quoting included) and the folder it names. Pure; kept out of the
// plugin files, which quote this value but never read it.
struct MPlayerOutdir {
  size_t Offset = 0;
  size_t Length = 0;
  std::wstring Folder;
};
std::optional<MPlayerOutdir> FindMPlayerOutdir(std::wstring_view voArgument);
