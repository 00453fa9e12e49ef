#include "records/Dcmi.h"
#include "records/Photo.h"
#include "records/Skype.h"
#include "records/Video.h"

#include <gtest/gtest.h>

TEST(Dcmi, PhotoWithoutThumbnailShowsTheAssetFileItself) {
    Dcmi item;
    EXPECT_FALSE(item.IsChecked());
    item.setZFilename("IMG_0001.JPG");
    item.setDcmiPath("/backup/0123abcd");
    const auto photo = item.convertToPhoto();
    EXPECT_EQ(photo->PhotoName(), "IMG_0001.JPG");
    EXPECT_EQ(photo->PhotoUrl(), "/backup/0123abcd");
    EXPECT_EQ(photo->isChecked(), 0);
    EXPECT_EQ(photo->imageRepresentationType(), ImageRepresentationType::Path);
    EXPECT_EQ(photo->imageRepresentation(), "/backup/0123abcd");
    EXPECT_EQ(photo->imageUID(), "/backup/0123abcd");
    EXPECT_EQ(photo->imageSubtitle(), "IMG_0001.JPG");
    EXPECT_TRUE(photo->isSelectable());
}

TEST(Dcmi, VideoCarriesItsThumbnailPicture) {
    Dcmi item;
    item.setZFilename("IMG_0002.MOV");
    item.setDcmiPath("/backup/feed");
    item.setDcmiThumbnailPath("/Brimley.DcmiModule;component/Resources/video-thumbnail.png");
    const auto video = item.convertToVideo();
    EXPECT_EQ(video->VideoName(), "IMG_0002.MOV");
    EXPECT_EQ(video->VideoUrl(), "/backup/feed");
    EXPECT_EQ(video->VideoImage(), "/Brimley.DcmiModule;component/Resources/video-thumbnail.png");
    EXPECT_EQ(video->isChecked(), 0);
}

TEST(Dcmi, InfoLineKeepsItsLiteralSeparators) {
    Dcmi item;
    item.setDcmiName("a.jpg");
    item.setCreated("2016-01-02 03:04:05");
    item.setLength(2048);
    EXPECT_EQ(item.DcmiInfo(),
              "DCMI name:a.jpg /n Creation Date: 2016-01-02 03:04:05/n Modified Date: /n "
              "Size:2048  Meta data: ");
}

TEST(Skype, CopyIsBlank) {
    Skype s;
    s.setSkypeID(42);
    s.setSkypeName("alice.w");
    s.setDisplayName("Alice");
    s.setBody("hi");
    const auto copy = s.copyWithZone();
    EXPECT_EQ(copy->skypeID(), 0);
    EXPECT_FALSE(copy->skypeName().has_value());
    EXPECT_FALSE(copy->displayName().has_value());
    EXPECT_FALSE(copy->time().has_value());
    EXPECT_FALSE(copy->body().has_value());
}
