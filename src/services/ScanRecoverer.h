#pragma once

#include "carving/AbstractSqLiteRecovery.h"
#include "records/ScanContext.h"

#include <cstdint>
#include <optional>
#include <utility>

class BrimleyAppDelegate;
class SqLiteTableSignatures;

// A recoverer of a scan: a carving engine that knows the scan it serves. The context gives its
// signatures and stop token (the engine is stopped with the scan) and the record its finds are
// listed in. A recoverer that serves several runs is given each run's context anew.
template <class Engine = AbstractSqLiteRecovery>
class ScanRecoverer : public Engine {
public:
    explicit ScanRecoverer(ScanContext context) { setContext(std::move(context)); }

    void setContext(ScanContext context) {
        context_ = std::move(context);
        this->setStopToken(context_.stop);
        this->setPageProgress(context_.pageProgress);
    }
    const ScanContext& context() const { return context_; }

protected:
    // The record this scan's finds are listed in.
    BrimleyAppDelegate& results() const { return context_.sink(); }
    // The scan's signature catalogue; null until the signatures are loaded.
    const SqLiteTableSignatures* signatures() const { return context_.signatures.get(); }
    // The row id of the record being decoded: read from its header, or from its cell's head
    // (currentCellRowId); none for a record that lost both (one in a freeblock).
    std::optional<std::int64_t> currentRecordRowId() const {
        if (!this->currentRecord()) return std::nullopt;
        if (this->currentRowIdWasRead()) return this->currentRecord()->RowId();
        return this->currentCellRowId();
    }
    // Takes the patterns of one of the catalogue's signatures; none when it is missing.
    bool takePatternsOf(std::string_view name, std::string_view db, std::string_view table) {
        return this->setPatternsFromSignature(name, db, table, signatures());
    }

private:
    ScanContext context_;
};
