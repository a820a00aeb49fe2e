// What the tool tells the user when the tracker's line goes away under it:
// the cable pulled, the device removed, the line hung up.
#pragma once

inline constexpr char TRACKER_DISCONNECTED_TEXT[] = "The tracker was disconnected.";
