#pragma once

#include "common/Types.h"

// Recognises video files by their name.
class VideoUtils {
public:
    // Whether the name, ignoring ASCII case, ends with a known video suffix (".mp4", ".mov",
    // ".mpg", ".mpeg", ".avi", ".rv", ".rm", ".wmv", ".ogg", ".flv", ".mxf", ".m4v", ".mkv"),
    // the dot included. False for an absent name.
    static bool IsKnownVideoFormat(const OptString& fileName);
};
