#include "common/XmlSax.h"

#include <libxml/globals.h>
#include <libxml/xmlerror.h>

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

}  // namespace XmlSax
