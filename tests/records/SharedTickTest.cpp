#include "records/Photo.h"
#include "records/SMS.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// The screens tick records and number their rows while the export thread reads both: the
// fields are shared safely, and a copy takes the value as it was.
TEST(SharedRecordFields, TickAndRowNumberAreSharedBetweenThreads) {
    auto sms = std::make_shared<SMS>();
    std::jthread writer([sms] {
        for (int i = 0; i < 20000; ++i) {
            sms->setIsChecked(i % 2);
            sms->setSlNo(i);
        }
    });
    long long seen = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::int32_t tick = sms->isChecked();
        EXPECT_TRUE(tick == 0 || tick == 1);
        seen += sms->SlNo() >= 0;
    }
    writer.join();
    EXPECT_EQ(seen, 20000);
    EXPECT_EQ(sms->SlNo(), 19999);

    Photo photo;
    photo.setIsChecked(1);
    Photo copy = photo;
    photo.setIsChecked(0);
    EXPECT_EQ(copy.isChecked(), 1);
    copy = photo;
    EXPECT_EQ(copy.isChecked(), 0);
}

}  // namespace
