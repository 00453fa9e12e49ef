#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// One video as the video view shows it and the export writes it.
class Video {
    TORVANE_TEXT_FIELD_OF_RECORD(VideoName, setVideoName)
    // Full path of the video file in the backup.
    TORVANE_TEXT_FIELD_OF_RECORD(VideoUrl, setVideoUrl)
    // The file of the backup that VideoUrl is a copy of, as SameFileKey names it; none for a
    // video listed where the backup keeps it.
    TORVANE_TEXT_FIELD_OF_RECORD(CopiedFrom, setCopiedFrom)
    // Path of its thumbnail picture.
    TORVANE_TEXT_FIELD_OF_RECORD(VideoImage, setVideoImage)
    // 1 when ticked, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
};
