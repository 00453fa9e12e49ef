#include "records/Dcmi.h"

#include "records/Photo.h"
#include "records/Video.h"

std::shared_ptr<Photo> Dcmi::convertToPhoto() const {
    auto photo = std::make_shared<Photo>();
    photo->setPhotoUrl(DcmiPath());
    photo->setPhotoName(ZFilename());
    photo->setIsChecked(0);
    return photo;
}

std::shared_ptr<Video> Dcmi::convertToVideo() const {
    auto video = std::make_shared<Video>();
    video->setVideoUrl(DcmiPath());
    video->setVideoName(ZFilename());
    video->setIsChecked(0);
    video->setVideoImage(DcmiThumbnailPath());
    return video;
}

std::string Dcmi::DcmiInfo() const {
    return "DCMI name:" + DcmiName().value_or("") + " /n Creation Date: " + Created().value_or("") +
           "/n Modified Date:" + Modified().value_or("") + " /n Size:" + std::to_string(Length()) +
           "  Meta data: " + MetaDataInfo().value_or("");
}
