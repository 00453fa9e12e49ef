// The reader of the application's own XML files (configuration, language texts, update feed)
// over fuzzed bytes: the tree, the language texts and the feed's version.

#include "config/LanguageConfig.h"
#include "config/XMLParser.h"
#include "config/XmlTree.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    if (const auto root = XmlNode::parse(document)) {
        for (const XmlNode* block : root->descendants("configuration"))
            if (const XmlNode* setting = block->firstChild("updateUrl"))
                (void)setting->textContent();
    }
    LanguageConfig texts;
    texts.loadTexts(document);
    (void)texts.CommonOK();
    (void)XMLParser::versionFromFeed(document);
    return 0;
}
