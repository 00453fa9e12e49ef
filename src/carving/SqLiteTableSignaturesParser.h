#pragma once

#include "carving/SqLiteTableSignatures.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads a signature document event by event (libxml2's SAX interface) into a catalogue.
//
//   <signatures>
//     <signature name="HomeDomain" database="sms.db" table="MESSAGE">
//       <pattern>
//         <version value="iOS6789"/>
//         <columns>free text</columns>
//         <header>[0];[0];[-1];...</header>
//         <attributemapping name="guid" column="2"/>
//       </pattern>
//     </signature>
//   </signatures>
//
// Element names are matched exactly; an element met outside the one it belongs in is ignored.
// The document is never allowed to reach the network or expand entities.
class SqLiteTableSignaturesParser {
public:
    // A reader over the document's bytes, which must outlive it.
    explicit SqLiteTableSignaturesParser(std::string_view document);
    // A reader over the contents of a location, which it keeps: a local file named by its path
    // or by a "file:" URL. None (with a line on stderr) for a location whose contents cannot be
    // read here (a network location among them: the catalogue never fetches) or that is too
    // large to be a signature file.
    static std::unique_ptr<SqLiteTableSignaturesParser> initWithURL(std::string_view url);
    // A whole signature file; none (with a line on stderr) when it is missing, unreadable or
    // too large to be one.
    static std::optional<std::string> ReadDocument(const std::string& path,
                                                   std::string* error = nullptr);
    ~SqLiteTableSignaturesParser();
    SqLiteTableSignaturesParser(const SqLiteTableSignaturesParser&) = delete;
    SqLiteTableSignaturesParser& operator=(const SqLiteTableSignaturesParser&) = delete;

    // The catalogue to fill; one is made at the first need when none was set.
    void setSqLiteTableSignatures(std::shared_ptr<SqLiteTableSignatures> catalogue) {
        catalogue_ = std::move(catalogue);
    }
    const std::shared_ptr<SqLiteTableSignatures>& sqLiteTableSignatures() const { return catalogue_; }

    // Runs the whole document. False when it is not well-formed; what was complete before the
    // error stays in the catalogue, and errorMessage() says what went wrong.
    bool parseTableSignatures();
    const std::string& errorMessage() const { return error_; }

    struct Attribute {
        std::string_view name;
        std::string_view value;
    };
    // Event handlers, called by the SAX callbacks.
    void startElement(std::string_view name, const std::vector<Attribute>& attributes);
    void endElement(std::string_view name);
    void characters(std::string_view text);

    // An attributemapping's column number: a decimal number with "," grouping and any fraction
    // cut off; 0 when missing or not a number.
    static std::int64_t ParseColumnNumber(const std::optional<std::string>& text);

private:
    SqLiteTableSignatures& catalogue();
    std::string elementText() const;

    // The bytes of a document read from a location, which document_ then views.
    std::string ownDocument_;
    std::string_view document_;
    std::shared_ptr<SqLiteTableSignatures> catalogue_;
    std::optional<SQLiteSignature> currentSignature_;
    std::optional<TablePattern> currentPattern_;
    std::optional<AttributesMapping> currentAttributemapping_;
    std::optional<std::string> currentVersion_;
    std::string currentStringValue_;
    bool foundCharacters_ = false;
    std::string error_;
};
