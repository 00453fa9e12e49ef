#pragma once

#include "common/Types.h"
#include "services/ServiceIndex.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How far a scan has got, from the work its parts have done. Each part (copying the photos and
// videos, reading one type's existing rows, carving one type's deleted records) has a weight,
// its share of the scan's work: the scan weighs a part by the bytes of the files it reads, so
// a large messages database outweighs an empty browser history. A part waits, runs (with the
// share of its own work done, where it can tell) or has ended.
//
// The window's bar and its estimate of the remaining time follow fraction() and
// remainingSeconds(); the status line names a part that is still running: when a part ends
// while others run, end() gives the status of the one begun last among them.
//
// Any thread: the scan worker and the carving threads report, the window reads.
// What the deleted-record part of a data type costs, in units of its existing-rows part (one
// read of its database): the walks its service makes over the database in their order, each by
// what it costs, and the work after its last walk (joining the records, naming partners). The
// searches differ a lot: one that tries every pattern of a wide table at every position costs
// several times a search for short link rows. Empty where the walks are not known.
struct PageWalkPlan {
    std::vector<double> walks;
    double afterWalks = 0.0;
    double total() const;
};

// The share of a part's work done where the part walks database files page by page, as many
// times as its recoverers need. Where the part's plan names its walks, each walk takes its
// planned share as it goes, and the work after them the rest. Beyond the plan (or without
// one) each walk that ends takes half of the share still left, and a walk under way the share
// of its half that it has walked. So the share only grows, and reaches 1 only when the part
// ends. Any thread.
class PageWalkShare {
public:
    PageWalkShare() = default;
    explicit PageWalkShare(PageWalkPlan plan) : plan_(std::move(plan)) {}
    // A walk has got to page `walked` of `pages` (walked == pages: it has ended). The share now.
    double walked(std::int64_t walked, std::int64_t pages);

private:
    std::mutex mutex_;
    PageWalkPlan plan_;
    int ended_ = 0;
};

class ScanProgress {
public:
    using Clock = std::chrono::steady_clock;

    // The name of the part that reads a data type's existing rows, and of the one that carves
    // its deleted records ("call history").
    static std::string LivePart(std::string_view typeName);
    static std::string DeletedPart(std::string_view typeName);
    // The copying of the photos and videos out of the backup.
    static constexpr const char* kMediaPart = "photos and videos";
    // The status line while deleted records are carved, where a type has no text of its own.
    static constexpr const char* kDeletedRecordsStatus = "Recovering deleted data. Please wait...";
    // The plan of the walks that the service of that index makes over its database; empty
    // where it is not known.
    static PageWalkPlan CarvingPlan(ServiceIndex service);

    // A new scan, begun at `now`: no part planned.
    void start(Clock::time_point now);
    // A part of the scan's work and its weight (negative counts as 0). Planning a part again
    // changes its weight and keeps its state.
    void plan(const std::string& part, double weight);
    // The part is being worked on; `status` is what the status line says of it. A part that was
    // not planned counts for nothing in the fraction but is named all the same.
    void begin(const std::string& part, std::string status);
    // The share of the part's own work done, 0 to 1.
    void advance(const std::string& part, double done);
    // The part has ended. Answers the status of the part begun last among those still running;
    // none when none runs.
    OptString end(const std::string& part);

    // The share of the planned work done, 0 to 1 (1 when nothing is planned and every part that
    // began has ended, 0 when nothing is planned at all).
    double fraction() const;
    // The status of the running part begun last; none.
    OptString runningStatus() const;
    // The seconds still to go at the pace of the work done so far; none until enough is done to
    // tell (a twentieth of the work and two seconds), 0 once everything planned has ended.
    std::optional<std::int64_t> remainingSeconds(Clock::time_point now) const;

private:
    enum class State { Waiting, Running, Ended };
    struct Part {
        std::string name;
        double weight = 0.0;
        double done = 0.0;
        State state = State::Waiting;
        std::string status;
        std::uint64_t begun = 0;
    };
    Part& partLocked(const std::string& name);
    double fractionLocked() const;
    OptString runningStatusLocked() const;

    mutable std::mutex mutex_;
    std::vector<Part> parts_;
    Clock::time_point started_{};
    std::uint64_t begins_ = 0;
};
