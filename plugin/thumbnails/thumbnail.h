#pragma once
#include <windows.h>

// However the player behaves, a thumbnail is made or refused within this time.
constexpr DWORD kThumbnailBoundMs = 5000;

// The file manager's thumbnail of a video: a frame the configured player takes,
// as a device-dependent bitmap no larger than |width| x |height| with the video's
// display shape kept (smaller than asked where the shapes differ). Null when there
// is none to give: thumbnails turned off, no player, no such file, nothing the
// player can show, or the bound reached. Safe on any thread and from several at
// once; touches no window and shows nothing. Nothing of the player outlives the
// call: its processes, its temporary folder and every handle are gone.
HBITMAP MakeVideoThumbnail(const wchar_t* fileName, int width, int height);
