#pragma once

#include <libxml/parser.h>

#include <functional>
#include <string_view>

// What every XML reader of Torvane shares: a SAX handler that never expands an entity of the
// document's own or fetches anything, and quiet error handlers while a document is read.
namespace XmlSax {

// A SAX2 handler calling these for elements and text; the document type declaration goes to
// `onDocumentType`, which is expected to end the parse. Errors are collected from the parser
// context afterwards; nothing is printed.
xmlSAXHandler Handler(startElementNsSAX2Func onStart, endElementNsSAX2Func onEnd, charactersSAXFunc onText,
                      internalSubsetSAXFunc onDocumentType);

// A push parser over the handler, with `userData` as the callbacks' context; network access and
// messages off. None when libxml2 cannot make one.
xmlParserCtxtPtr PushParser(xmlSAXHandler& handler, void* userData);

// Feeds the whole document to the push parser in chunks (libxml2 takes an int length), stopping
// after the chunk where `failed` (when given) says the reader has given up. True when every chunk
// parsed and the document is well-formed.
bool ParseInChunks(xmlParserCtxtPtr context, std::string_view document,
                   const std::function<bool()>& failed = {});

// Frees the parser and the document libxml2 builds for a document type declaration.
void FreeParser(xmlParserCtxtPtr context);

// libxml2's encoding layer reports through the thread's error handlers rather than the
// parser's; they are quiet while an object of this class lives and are put back afterwards.
// Its constructor also initialises libxml2 once per process.
class QuietErrors {
public:
    QuietErrors();
    ~QuietErrors();
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    xmlGenericErrorFunc generic_;
    void* genericContext_;
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
};

}  // namespace XmlSax
