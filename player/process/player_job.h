#pragma once
#include <windows.h>

// A job object that ends its processes when its last handle closes, so a player
// never outlives a host that crashes or is killed, and in which a process that
// crashes ends at once, without a fault dialog. Null when jobs are refused (or in
// builds made without them); the player then runs as it always did, with the
// host's error mode.
HANDLE CreatePlayerJob();
