#pragma once

#include <memory>

class DAOs;
class Message;
class SMS;

// The display record of a carved message. Its partner's address is the message's own address
// (old schemas), else the address of its handle row looked up through the query object, else
// "unknown<n>" with the next number of the state record's running count of unknown partners.
// Every converted record is carved: RowID -1, SlNo 0, not ticked, isRecovered set.
std::shared_ptr<SMS> generateSMSObject(const Message& message, DAOs& daos);
