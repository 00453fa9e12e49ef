#pragma once

#include "records/RecordFields.h"

#include <cstdint>

// How the photo browser finds an item's picture: always by the path of its file.
enum class ImageRepresentationType { Path };

// One photo as the photo browser shows it and the export writes it.
class Photo {
public:
    TORVANE_TEXT_FIELD_OF_RECORD(PhotoName, setPhotoName)
    // Full path of the image file in the backup.
    TORVANE_TEXT_FIELD_OF_RECORD(PhotoUrl, setPhotoUrl)
    // The key of a photo in hashed look-ups: the file it was copied to; none without one.
    static OptString UrlKey(const Photo& photo) { return photo.PhotoUrl(); }
    // The file of the backup that PhotoUrl is a copy of (the photo and video step of a scan
    // copies what it finds), as SameFileKey names it; none for a photo listed where the backup
    // keeps it.
    TORVANE_TEXT_FIELD_OF_RECORD(CopiedFrom, setCopiedFrom)
    // 1 when ticked, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)

    // What the photo browser asks of an item: the picture is the file itself, named by its path,
    // which also identifies the item.
    ImageRepresentationType imageRepresentationType() const {
        return ImageRepresentationType::Path;
    }
    const OptString& imageRepresentation() const { return PhotoUrl(); }
    const OptString& imageSubtitle() const { return PhotoName(); }
    const OptString& imageUID() const { return PhotoUrl(); }
    bool isSelectable() const { return true; }
};
