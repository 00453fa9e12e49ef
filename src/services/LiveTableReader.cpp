#include "services/LiveTableReader.h"

#include <filesystem>
#include <system_error>

LiveTableReader::LiveTableReader(const std::string& path) {
    std::error_code error;
    // Only an existing file is opened: the carvers are also handed paths the backup lacks.
    if (!path.empty() && std::filesystem::is_regular_file(path, error))
        connection_ = SqliteConnection::OpenReadOnly(path);
}

bool LiveTableReader::hasTable(std::string_view table) const {
    if (!isOpen()) return false;
    SqliteResultSet rows = connection_->executeQuery(
        "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE",
        {ColumnValue(std::string(table))});
    return rows.next();
}

SqliteResultSet LiveTableReader::query(std::string_view sql,
                                       const std::vector<ColumnValue>& args) const {
    if (!isOpen()) return {};
    return connection_->executeQuery(sql, args);
}
