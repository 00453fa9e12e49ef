#include "records/BrimleyAppDelegate.h"

BrimleyAppDelegate::BrimleyAppDelegate() = default;
BrimleyAppDelegate::~BrimleyAppDelegate() = default;

BrimleyAppDelegate& BrimleyAppDelegate::appDelegate() {
    // Built on first use (thread-safe) and kept until the process ends.
    static BrimleyAppDelegate* const record = new BrimleyAppDelegate();
    return *record;
}

void BrimleyAppDelegate::updateUIfoundRecoveredData() {
    if (auto w = window_.get()) w->updateUIfoundRecoveredData();
}

void BrimleyAppDelegate::updatePhotosUI() {
    if (auto w = window_.get()) w->updatePhotosUI();
}
