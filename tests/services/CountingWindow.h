#pragma once

#include "records/MainWindowRefresh.h"

#include <atomic>

// A window that only counts the refreshes the recovery threads ask of it.
class CountingWindow : public MainWindowRefresh {
public:
    void updateUIfoundRecoveredData() override { ++foundRecoveredData; }
    void updatePhotosUI() override { ++photosUI; }

    std::atomic<int> foundRecoveredData{0};
    std::atomic<int> photosUI{0};
};
