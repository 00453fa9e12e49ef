#pragma once

#include "common/Types.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Writes a CSV file field by field. Fields are separated by ","; a field that holds the
// delimiter, a double quote or a line break is enclosed in double quotes with its quotes
// doubled, so every record stays one logical line; lines end with "\n"; text is UTF-8.
//
// The file is written under a temporary name beside the target and renamed into place by
// closeFile(), so a failed or abandoned write never leaves half a file behind (and never
// clobbers an older complete one). Any write failure makes closeFile() answer false.
class CsvWriter {
public:
    enum class Placement {
        Replace,      // an older file of the name is replaced (the user chose the name)
        NewFileOnly,  // anything already under the name (a file, a link) stays; closeFile fails
    };

    explicit CsvWriter(std::string path, Placement placement = Placement::Replace);
    ~CsvWriter();
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    // An absent field is written as an empty one.
    void writeField(const OptString& field);
    void writeField(std::string_view field);
    void writeField(const std::string& field) { writeField(std::string_view(field)); }
    void writeField(const char* field) { writeField(std::string_view(field)); }
    // Ends the current line.
    void writeLine();
    // Writes the fields and ends the line.
    void writeLineOfFields(std::initializer_list<OptString> fields);
    void writeLineOfFields(const std::vector<OptString>& fields);

    // Finishes the file and moves it into place. False when anything failed on the way; the
    // target is then left as it was before.
    bool closeFile();

    // Whether every write so far succeeded.
    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

    // The field as it appears in the file (quoted when needed).
    static std::string EncodeField(std::string_view field);

private:
    void put(std::string_view text);
    void abandon();

    std::string path_;
    Placement placement_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    bool ok_ = false;
    bool closed_ = false;
    int fieldsInLine_ = 0;
};
