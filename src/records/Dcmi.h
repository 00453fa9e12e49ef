#pragma once

#include "records/RecordFields.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Photo;
class Video;

// One asset row of the device's photo library, as the photo and video service reads it.
class Dcmi {
public:
    // A new display record of the asset as a photo: its backup file and its file name.
    std::shared_ptr<Photo> convertToPhoto() const;
    // A new display record of the asset as a video, with its thumbnail picture.
    std::shared_ptr<Video> convertToVideo() const;
    // A one-line description of the item (its "/n" are literal, as the text has always had them).
    std::string DcmiInfo() const;

    TORVANE_VALUE_FIELD_OF_RECORD(bool, isVisible, setIsVisible, false)
    // The asset's folder in the media domain, e.g. "DCIM/100APPLE" (the name is spelled so).
    TORVANE_TEXT_FIELD_OF_RECORD(ZDirecotry, setZDirecotry)
    TORVANE_TEXT_FIELD_OF_RECORD(ZFilename, setZFilename)
    TORVANE_TEXT_FIELD_OF_RECORD(DcmiName, setDcmiName)
    // Full path of the asset's file in the backup folder.
    TORVANE_TEXT_FIELD_OF_RECORD(DcmiPath, setDcmiPath)
    // The thumbnail found for the asset, the stock video picture, or the asset's own path.
    TORVANE_TEXT_FIELD_OF_RECORD(DcmiThumbnailPath, setDcmiThumbnailPath)
    TORVANE_TEXT_FIELD_OF_RECORD(Created, setCreated)
    TORVANE_TEXT_FIELD_OF_RECORD(Modified, setModified)
    TORVANE_TEXT_FIELD_OF_RECORD(LengthFormated, setLengthFormated)
    // Size in bytes.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Length, setLength, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(MetaDataInfo, setMetaDataInfo)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsChecked, setIsChecked, false)
    // Counts as recovered (deleted) rather than existing.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, Recovered, setRecovered, false)
};

// A named album; it decides whether the items filed in it are photos or videos.
class DcmiFolder {
    // Items filed here become videos; otherwise photos.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, IsVideosFolder, setIsVideosFolder, false)
    // "Camera Roll", "Photo Stream", "App Photos" or "App Videos".
    TORVANE_TEXT_FIELD_OF_RECORD(Name, setName)
    TORVANE_VALUE_FIELD_OF_RECORD(std::vector<std::shared_ptr<Dcmi>>, dcmis, setDcmis, {})
    TORVANE_TEXT_FIELD_OF_RECORD(filter, setFilter)
    // Set once a recovered item of another backup has been filed here.
    TORVANE_VALUE_FIELD_OF_RECORD(bool, ContainsDeletedDcmis, setContainsDeletedDcmis, false)
    TORVANE_VALUE_FIELD_OF_RECORD(bool, isChecked, setIsChecked, false)
};
