#pragma once

class BrimleyAppDelegate;

// What the photo grid and the video view show, rebuilt from the scan's photo and video lists:
// the existing items followed by the deleted ones, or the deleted ones alone. The export of
// photos and videos copies exactly these lists.
namespace PhotoBrowserLists {

// Rebuilds AllPhotos (under dcimLocked). The caller holds photosLocked.
void updatePhotos(BrimleyAppDelegate& record, bool onlyDeleted = false);
// Rebuilds _AllVideos. The caller holds photosLocked.
void updateVideos(BrimleyAppDelegate& record, bool onlyDeleted = false);
// Both, taking photosLocked itself.
void rebuild(BrimleyAppDelegate& record, bool onlyDeleted = false);

}  // namespace PhotoBrowserLists
