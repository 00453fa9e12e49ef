#pragma once

#include "common/Types.h"
#include "records/CompactText.h"

#include <cstdint>

// The common base of every recovery record: one row of an iOS SQLite table, read live with SQL
// or carved out of a file's free space. Subclasses add the columns of their own table; the base
// keeps the row id, the two recovery flags and the few columns that several tables share.
class baseRecoveryObject {
public:
    baseRecoveryObject() = default;
    virtual ~baseRecoveryObject() = default;
    baseRecoveryObject(const baseRecoveryObject&) = default;
    baseRecoveryObject& operator=(const baseRecoveryObject&) = default;

    // The negation of isRecovered (not of Recovered: the two flags are independent).
    bool NotRecovered() const { return !isRecovered_; }

    bool Recovered() const { return Recovered_; }
    void setRecovered(bool v) { Recovered_ = v; }
    bool isRecovered() const { return isRecovered_; }
    void setIsRecovered(bool v) { isRecovered_ = v; }

    std::int64_t RowId() const { return RowId_; }
    void setRowId(std::int64_t v) { RowId_ = v; }
    std::int64_t ChatId() const { return ChatId_; }
    void setChatId(std::int64_t v) { ChatId_ = v; }
    std::int64_t MessageId() const { return MessageId_; }
    void setMessageId(std::int64_t v) { MessageId_ = v; }

    // The texts are kept compact (a carving run makes records by the hundred thousand): the
    // getters answer copies.
    OptString Text() const { return Text_.get(); }
    void setText(const OptString& v) { Text_.set(v); }
    OptString Country() const { return Country_.get(); }
    void setCountry(const OptString& v) { Country_.set(v); }
    OptString Service() const { return Service_.get(); }
    void setService(const OptString& v) { Service_.set(v); }
    OptString Account() const { return Account_.get(); }
    void setAccount(const OptString& v) { Account_.set(v); }
    OptString Value() const { return Value_.get(); }
    void setValue(const OptString& v) { Value_.set(v); }

private:
    bool Recovered_ = false;
    bool isRecovered_ = false;
    std::int64_t RowId_ = 0;
    std::int64_t ChatId_ = 0;
    std::int64_t MessageId_ = 0;
    CompactText Text_;
    CompactText Value_;
    // Drawn from a small set (country codes, service and account names): pooled.
    SharedPooledText Country_;
    SharedPooledText Service_;
    SharedPooledText Account_;
};
