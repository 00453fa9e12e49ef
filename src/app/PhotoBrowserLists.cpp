#include "app/PhotoBrowserLists.h"

#include "records/BrimleyAppDelegate.h"
#include "records/Photo.h"
#include "records/Video.h"

#include <mutex>

namespace {

template <class Item>
std::vector<std::shared_ptr<Item>> Shown(const SharedList<Item>& existing,
                                         const SharedList<Item>& deleted, bool onlyDeleted) {
    std::vector<std::shared_ptr<Item>> items;
    if (!onlyDeleted) items = existing.snapshot();
    const auto more = deleted.snapshot();
    items.insert(items.end(), more.begin(), more.end());
    return items;
}

}  // namespace

namespace PhotoBrowserLists {

void updatePhotos(BrimleyAppDelegate& record, bool onlyDeleted) {
    auto items = Shown(record.Photos, record.DeletedPhotos, onlyDeleted);
    std::lock_guard grid(record.dcimLocked);
    record.AllPhotos.replace(std::move(items));
}

void updateVideos(BrimleyAppDelegate& record, bool onlyDeleted) {
    record._AllVideos.replace(Shown(record.Videos, record.DeletedVideos, onlyDeleted));
}

void rebuild(BrimleyAppDelegate& record, bool onlyDeleted) {
    std::lock_guard photos(record.photosLocked);
    updatePhotos(record, onlyDeleted);
    updateVideos(record, onlyDeleted);
}

}  // namespace PhotoBrowserLists
