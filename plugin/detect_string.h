#pragma once
#include <string_view>

// Which files the host offers us: multimedia files with one of twelve video extensions.
constexpr std::string_view kDetectString =
    R"(MULTIMEDIA & (EXT="VOB"|EXT="MPG"|EXT="MPEG"|EXT="OGV"|EXT="MP4"|EXT="M4V"|EXT="MKV"|EXT="WMV"|EXT="AVI"|EXT="ASF"|EXT="FLV"|EXT="MOV"))";

// As much of it as fits |size| characters with its terminating NUL; nothing when there is no room.
void CopyDetectString(char* buffer, int size);
