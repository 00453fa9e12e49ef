#include "common/XmlSax.h"

#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace XmlSax {
namespace {

// Only the five predefined entities (&amp; and its kin) are known, so no other is expanded.
xmlEntityPtr OnGetEntity(void*, const xmlChar* name) {
    return xmlGetPredefinedEntity(name);
}

void OnStructuredError(void*, xmlErrorPtr) {}
void OnGenericError(void*, const char*, ...) {}

}  // namespace

xmlSAXHandler Handler(startElementNsSAX2Func onStart, endElementNsSAX2Func onEnd, charactersSAXFunc onText,
                      internalSubsetSAXFunc onDocumentType) {
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = onStart;
    handler.endElementNs = onEnd;
    handler.characters = onText;
    handler.cdataBlock = onText;
    handler.ignorableWhitespace = onText;
    handler.serror = OnStructuredError;
    handler.internalSubset = onDocumentType;
    handler.getEntity = OnGetEntity;
    return handler;
}

QuietErrors::QuietErrors() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    generic_ = xmlGenericError;
    genericContext_ = xmlGenericErrorContext;
    structured_ = xmlStructuredError;
    structuredContext_ = xmlStructuredErrorContext;
    xmlSetGenericErrorFunc(nullptr, OnGenericError);
    xmlSetStructuredErrorFunc(nullptr, OnStructuredError);
}

QuietErrors::~QuietErrors() {
    xmlSetGenericErrorFunc(genericContext_, generic_);
    xmlSetStructuredErrorFunc(structuredContext_, structured_);
}

xmlParserCtxtPtr PushParser(xmlSAXHandler& handler, void* userData) {
    xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&handler, userData, nullptr, 0, nullptr);
    if (context) xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    return context;
}

bool ParseInChunks(xmlParserCtxtPtr context, std::string_view document, const std::function<bool()>& failed) {
    constexpr std::size_t kChunk = 1 << 20;
    std::size_t at = 0;
    int status = 0;
    do {
        const std::size_t length = std::min(kChunk, document.size() - at);
        const bool last = at + length == document.size();
        status = xmlParseChunk(context, document.data() + at, static_cast<int>(length), last ? 1 : 0);
        at += length;
        if (last) break;
    } while (status == 0 && !(failed && failed()));
    return status == 0 && context->wellFormed;
}

void FreeParser(xmlParserCtxtPtr context) {
    if (!context) return;
    if (context->myDoc) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
}

}  // namespace XmlSax
