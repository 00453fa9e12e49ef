#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One video as the video view shows it and the export writes it.
class Video {
    TORVANE_TEXT_FIELD_OF_RECORD(VideoName, setVideoName)
    // Full path of the video file in the backup.
    TORVANE_TEXT_FIELD_OF_RECORD(VideoUrl, setVideoUrl)
    // Path of its thumbnail picture.
    TORVANE_TEXT_FIELD_OF_RECORD(VideoImage, setVideoImage)
    // 1 when ticked, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
};
