#include "carving/SqLiteTableSignaturesParser.h"

#include "common/FileUtils.h"

#include "common/Reachability.h"
#include "common/XmlSax.h"

#include <libxml/parser.h>
#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <mutex>

namespace {

std::string_view View(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

SqLiteTableSignaturesParser& Parser(void* context) {
    return *static_cast<SqLiteTableSignaturesParser*>(
        static_cast<xmlParserCtxtPtr>(context)->_private);
}

void OnStartElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* /*uri*/, int /*namespaceCount*/, const xmlChar** /*namespaces*/,
                    int attributeCount, int /*defaultedCount*/, const xmlChar** attributes) {
    // A prefixed name is a different element from the one the file format names.
    const std::string_view name = prefix ? std::string_view() : View(localname);
    std::vector<SqLiteTableSignaturesParser::Attribute> list;
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** a = attributes + 5 * i;  // localname, prefix, URI, value, end
        if (a[1] != nullptr) continue;
        list.push_back({View(a[0]), std::string_view(reinterpret_cast<const char*>(a[3]),
                                                     static_cast<std::size_t>(a[4] - a[3]))});
    }
    Parser(context).startElement(name, list);
}

void OnEndElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                  const xmlChar* /*uri*/) {
    Parser(context).endElement(prefix ? std::string_view() : View(localname));
}

void OnCharacters(void* context, const xmlChar* text, int length) {
    if (length > 0)
        Parser(context).characters(
            std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)));
}

// Errors are collected from the context after parsing; nothing is printed while it runs.
// A document type declaration ends the parse: the signature file has none, and one could
// declare entities of its own.
void OnInternalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

std::optional<std::string> AttributeValue(
    const std::vector<SqLiteTableSignaturesParser::Attribute>& attributes, std::string_view name) {
    for (const auto& a : attributes)
        if (a.name == name) return std::string(a.value);
    return std::nullopt;
}

// Blanks are trimmed from the text of an element; tabs and line breaks are kept, as the format
// has always done.
std::string TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

SqLiteTableSignaturesParser::SqLiteTableSignaturesParser(std::string_view document)
    : document_(document) {}

std::optional<std::string> SqLiteTableSignaturesParser::ReadDocument(const std::string& path,
                                                                  std::string* error) {
    // A signature file is a few hundred kilobytes; anything far larger is not one. Only a
    // regular file is read, so a FIFO in its place cannot block the reader.
    constexpr std::size_t kMaxSignatureFileSize = 64 * 1024 * 1024;
    const auto bytes = FileUtils::getDataFromPath(path, kMaxSignatureFileSize, error);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::unique_ptr<SqLiteTableSignaturesParser> SqLiteTableSignaturesParser::initWithURL(
    std::string_view url) {
    const auto path = Reachability::LocalPathOf(url);
    if (!path) {
        std::cerr << "Recovery signatures: cannot read " << url << " (not a local file)\n";
        return nullptr;
    }
    auto document = ReadDocument(*path);
    if (!document) return nullptr;
    auto parser = std::make_unique<SqLiteTableSignaturesParser>(std::string_view());
    parser->ownDocument_ = std::move(*document);
    parser->document_ = parser->ownDocument_;
    return parser;
}

SqLiteTableSignaturesParser::~SqLiteTableSignaturesParser() = default;

SqLiteTableSignatures& SqLiteTableSignaturesParser::catalogue() {
    if (!catalogue_) catalogue_ = std::make_shared<SqLiteTableSignatures>();
    return *catalogue_;
}

bool SqLiteTableSignaturesParser::parseTableSignatures() {
    const XmlSax::QuietErrors quiet;
    xmlSAXHandler handler = XmlSax::Handler(OnStartElement, OnEndElement, OnCharacters, OnInternalSubset);

    xmlParserCtxtPtr context = XmlSax::PushParser(handler, nullptr);
    if (!context) {
        error_ = "cannot create an XML parser";
        return false;
    }
    context->_private = this;

    const bool ok = XmlSax::ParseInChunks(context, document_);
    if (!ok) {
        const xmlError* e = xmlCtxtGetLastError(context);
        error_ = e && e->message ? std::string(e->message) : std::string("not well-formed XML");
        while (!error_.empty() && (error_.back() == '\n' || error_.back() == '\r')) error_.pop_back();
        if (e) error_ = "line " + std::to_string(e->line) + ": " + error_;
    }
    XmlSax::FreeParser(context);
    return ok;
}

void SqLiteTableSignaturesParser::startElement(std::string_view name,
                                               const std::vector<Attribute>& attributes) {
    currentStringValue_.clear();
    foundCharacters_ = false;
    if (name == "signatures") {
        catalogue().tableSignatures().clear();
    } else if (name == "signature") {
        SQLiteSignature signature;
        signature.setName(AttributeValue(attributes, "name"));
        signature.setDatabase(AttributeValue(attributes, "database"));
        signature.setTable(AttributeValue(attributes, "table"));
        currentSignature_ = std::move(signature);
    } else if (name == "pattern") {
        currentPattern_ = TablePattern();
    } else if (name == "version") {
        currentVersion_ = AttributeValue(attributes, "value");
    } else if (name == "attributemapping") {
        currentAttributemapping_ = AttributesMapping(
            AttributeValue(attributes, "name"), ParseColumnNumber(AttributeValue(attributes, "column")));
    }
}

void SqLiteTableSignaturesParser::endElement(std::string_view name) {
    if (name == "signature") {
        if (currentSignature_) catalogue().tableSignatures().push_back(std::move(*currentSignature_));
        currentSignature_.reset();
    } else if (name == "pattern") {
        if (currentPattern_ && currentSignature_) currentSignature_->addTablePattern(std::move(*currentPattern_));
        currentPattern_.reset();
    } else if (name == "version") {
        if (currentPattern_ && currentVersion_) currentPattern_->addVersion(*currentVersion_);
    } else if (name == "columns") {
        if (currentPattern_) currentPattern_->setColumns(elementText());
        currentStringValue_.clear();
    } else if (name == "header") {
        if (currentPattern_) currentPattern_->setHeaderPattern(elementText());
        currentStringValue_.clear();
    } else if (name == "attributemapping") {
        if (currentAttributemapping_ && currentPattern_)
            currentPattern_->addAttributesMapping(std::move(*currentAttributemapping_));
        currentAttributemapping_.reset();
    }
}

void SqLiteTableSignaturesParser::characters(std::string_view text) {
    currentStringValue_.append(text);
    foundCharacters_ = true;
}

std::string SqLiteTableSignaturesParser::elementText() const {
    return foundCharacters_ ? TrimSpaces(currentStringValue_) : std::string();
}

std::int64_t SqLiteTableSignaturesParser::ParseColumnNumber(const std::optional<std::string>& text) {
    if (!text) return 0;
    std::string_view s = *text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (const auto point = s.find('.'); point != std::string_view::npos) {
        const std::string_view fraction = s.substr(point + 1);
        if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return 0;
        s = s.substr(0, point);
    }
    if (s.empty() || s.front() == ',' || s.back() == ',') return 0;
    std::int64_t value = 0;
    char previous = 0;
    for (char c : s) {
        if (c == ',') {
            if (previous == ',') return 0;
        } else if (c >= '0' && c <= '9') {
            if (value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10) return 0;
            value = value * 10 + (c - '0');
        } else {
            return 0;
        }
        previous = c;
    }
    return negative ? -value : value;
}
