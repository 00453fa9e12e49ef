#include "config/XmlTree.h"

#include "common/XmlSax.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <mutex>

// Builds an XmlNode tree from the SAX events of one document. A document type declaration, an
// element nested too deep or a second root fails the document.
class XmlTreeBuilder {
public:
    void startElement(const xmlChar* localname, const xmlChar* prefix) {
        if (failed_) return;
        if (static_cast<int>(stack_.size()) >= XmlNode::kMaxDepth) {
            failed_ = true;
            return;
        }
        std::string name = prefix ? Text(prefix) + ":" + Text(localname) : Text(localname);
        XmlNode* parent = stack_.empty() ? nullptr : stack_.back();
        XmlNode* node = nullptr;
        if (parent == nullptr) {
            if (root_) {  // a second root cannot be well-formed; the parser says so too
                failed_ = true;
                return;
            }
            root_.emplace();
            node = &*root_;
        } else {
            parent->children_.emplace_back();
            node = &parent->children_.back();
        }
        node->name_ = std::move(name);
        stack_.push_back(node);
    }

    void endElement() {
        if (!failed_ && !stack_.empty()) stack_.pop_back();
    }

    void characters(const xmlChar* text, int length) {
        if (failed_ || stack_.empty() || length <= 0) return;
        std::vector<XmlNode>& children = stack_.back()->children_;
        if (children.empty() || !children.back().isText_) {
            children.emplace_back();
            children.back().isText_ = true;
        }
        children.back().text_.append(reinterpret_cast<const char*>(text),
                                     static_cast<std::size_t>(length));
    }

    // A document type declaration: refused, so that no entity is ever declared.
    void documentType() { failed_ = true; }

    bool failed() const { return failed_; }
    std::optional<XmlNode> take() { return std::move(root_); }

    xmlParserCtxtPtr context = nullptr;

private:
    static std::string Text(const xmlChar* text) {
        return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
    }

    std::optional<XmlNode> root_;
    std::vector<XmlNode*> stack_;
    bool failed_ = false;
};

namespace {

// The callbacks get the builder itself as their user data. That it is not the parser context
// matters: with the context as user data, libxml2 would look entities up in the document it
// keeps for a document type declaration, and expand them.
XmlTreeBuilder& Builder(void* user) {
    return *static_cast<XmlTreeBuilder*>(user);
}

void StopIfFailed(XmlTreeBuilder& builder) {
    if (builder.failed() && builder.context) xmlStopParser(builder.context);
}

void OnStartElement(void* user, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* /*uri*/, int /*namespaceCount*/, const xmlChar** /*namespaces*/,
                    int /*attributeCount*/, int /*defaultedCount*/,
                    const xmlChar** /*attributes*/) {
    XmlTreeBuilder& builder = Builder(user);
    builder.startElement(localname, prefix);
    StopIfFailed(builder);
}

void OnInternalSubset(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
    XmlTreeBuilder& builder = Builder(user);
    builder.documentType();
    StopIfFailed(builder);
}

void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    Builder(context).endElement();
}

void OnCharacters(void* context, const xmlChar* text, int length) {
    Builder(context).characters(text, length);
}

}  // namespace

std::optional<XmlNode> XmlNode::parse(std::string_view document) {
    if (document.empty() || document.size() > kMaxDocumentBytes) return std::nullopt;
    const XmlSax::QuietErrors quiet;
    // A document type declaration ends the parse; no entity but the predefined ones is known,
    // so none is expanded; nothing is fetched.
    xmlSAXHandler handler = XmlSax::Handler(OnStartElement, OnEndElement, OnCharacters, OnInternalSubset);

    XmlTreeBuilder builder;
    xmlParserCtxtPtr context = XmlSax::PushParser(handler, &builder);
    if (!context) return std::nullopt;
    builder.context = context;
    const bool ok =
        XmlSax::ParseInChunks(context, document, [&] { return builder.failed(); }) && !builder.failed();
    XmlSax::FreeParser(context);
    if (!ok) return std::nullopt;
    return builder.take();
}

std::string XmlNode::textContent() const {
    std::string out;
    appendText(out);
    return out;
}

void XmlNode::appendText(std::string& out) const {
    if (isText_) {
        out += text_;
        return;
    }
    for (const XmlNode& child : children_) child.appendText(out);
}

const XmlNode* XmlNode::firstChild(std::string_view name) const {
    for (const XmlNode& child : children_)
        if (!child.isText_ && child.name_ == name) return &child;
    return nullptr;
}

std::vector<const XmlNode*> XmlNode::descendants(std::string_view name) const {
    std::vector<const XmlNode*> out;
    collect(name, out);
    return out;
}

void XmlNode::collect(std::string_view name, std::vector<const XmlNode*>& out) const {
    if (isText_) return;
    if (name_ == name) out.push_back(this);
    for (const XmlNode& child : children_) child.collect(name, out);
}
