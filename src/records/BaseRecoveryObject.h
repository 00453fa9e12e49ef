#pragma once

#include "common/Types.h"

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

    const OptString& Text() const { return Text_; }
    void setText(OptString v) { Text_ = std::move(v); }
    const OptString& Country() const { return Country_; }
    void setCountry(OptString v) { Country_ = std::move(v); }
    const OptString& Service() const { return Service_; }
    void setService(OptString v) { Service_ = std::move(v); }
    const OptString& Account() const { return Account_; }
    void setAccount(OptString v) { Account_ = std::move(v); }
    const OptString& Value() const { return Value_; }
    void setValue(OptString v) { Value_ = std::move(v); }

private:
    bool Recovered_ = false;
    bool isRecovered_ = false;
    std::int64_t RowId_ = 0;
    std::int64_t ChatId_ = 0;
    std::int64_t MessageId_ = 0;
    OptString Text_;
    OptString Country_;
    OptString Service_;
    OptString Account_;
    OptString Value_;
};
