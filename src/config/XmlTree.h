#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A small read-only tree of an XML document, for the application's own settings files (the
// configuration, the language texts, the update feed). It is built event by event through
// libxml2's SAX interface: a document with a document type declaration is refused (so no
// entity of its own is ever expanded; the predefined ones and character references are
// decoded), nothing is fetched from the network, and a document that is too large or too deep
// is refused.
//
// An element keeps its children (elements and texts) in document order. A prefixed element
// ("x:item") is named with its prefix, so it never matches the plain name.
class XmlNode {
public:
    // The largest document read, and the deepest nesting of elements accepted.
    static constexpr std::size_t kMaxDocumentBytes = 16u << 20;
    static constexpr int kMaxDepth = 256;

    // The document's root element; none when the text is not well-formed XML, too large or
    // too deep. The encoding is the one the XML declaration names, UTF-8 without one.
    static std::optional<XmlNode> parse(std::string_view document);

    bool isText() const { return isText_; }
    // An element's name; empty for a text.
    const std::string& name() const { return name_; }
    const std::vector<XmlNode>& children() const { return children_; }

    // Every text inside the node, at any depth, joined in document order, kept as it is
    // (blanks and line breaks stay; the parser has decoded character references).
    std::string textContent() const;
    // The first direct child element of that name.
    const XmlNode* firstChild(std::string_view name) const;
    // Every element of that name at any depth below and including this one, in document
    // order (an element before the elements inside it).
    std::vector<const XmlNode*> descendants(std::string_view name) const;

private:
    friend class XmlTreeBuilder;
    void appendText(std::string& out) const;
    void collect(std::string_view name, std::vector<const XmlNode*>& out) const;

    bool isText_ = false;
    std::string name_;
    std::string text_;
    std::vector<XmlNode> children_;
};
