// The signature-file reader over fuzzed bytes, and what the engine does with whatever patterns
// come out of it: compile them and search the same bytes with them.

#include "carving/AbstractSqLiteRecovery.h"
#include "carving/SqLiteTableSignatures.h"
#include "carving/SqLiteTableSignaturesParser.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace {

class SearchOnly : public AbstractSqLiteRecovery {
public:
    std::size_t found = 0;

protected:
    void FillModel(std::int64_t column, const ColumnValue&, const TablePattern& pattern) override {
        if (pattern.mappingForColumn(column)) markCurrentMapped();
    }
    std::int32_t verifyDataPosition(ByteView text) override {
        return text.empty() ? 0 : text[0] % 13 - 6;
    }
    void addRecoveredObject() override { ++found; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    auto catalogue = std::make_shared<SqLiteTableSignatures>();
    SqLiteTableSignaturesParser parser(document);
    parser.setSqLiteTableSignatures(catalogue);
    parser.parseTableSignatures();

    for (const auto& signature : catalogue->tableSignatures()) {
        for (const auto& pattern : signature.TablePatterns()) {
            (void)pattern.Header();
            (void)pattern.CheckIfVersionSupported("iOS6");
        }
        (void)signature.FindPatternsByVersion("iOS4");
        if (signature.Name() && signature.Database() && signature.Table())
            (void)catalogue->Find(*signature.Name(), *signature.Database(), *signature.Table());
        SearchOnly engine;
        engine.setTablePatterns(signature.TablePatterns());
        engine.carveArea(ByteView(data, size));
    }
    return 0;
}
