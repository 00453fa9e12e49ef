// The whole carving engine over a fuzzed database file: header, page walks, freeblock chains,
// pointer maps, freelist, live pages and cells, record search and decoding, with the message
// signature of the application's signature file. Plain and whole-page engines, both freeblock
// offsets. Then the file's tables as its own pages hold them (schema, b-trees, overflow pages).

#include "carving/AbstractSQLiteRecoveryFullSearch.h"
#include "carving/AbstractSqLiteRecovery.h"
#include "carving/SqLiteTableSignatures.h"
#include "carving/StoredTables.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Compiled once: every input is carved with the same signature.
const std::shared_ptr<const CompiledTablePatterns>& MessagePatterns() {
    static const std::shared_ptr<const CompiledTablePatterns> patterns = [] {
        SqLiteTableSignatures catalogue;
        const SQLiteSignature* signature =
            catalogue.LoadSignaturesFile(SqLiteTableSignatures::ResourcePath())
                ? catalogue.Find("HomeDomain", "sms.db", "MESSAGE")
                : nullptr;
        if (!signature || signature->TablePatterns().empty()) {
            std::fprintf(stderr, "fuzz_carve: no message signature in %s\n",
                         SqLiteTableSignatures::ResourcePath().c_str());
            std::abort();
        }
        return CompiledTablePatterns::Compile(signature->TablePatterns());
    }();
    return patterns;
}

// Fills records the way a recoverer does, and answers the position check from the text so that
// the re-alignment retry runs too.
template <class Engine>
class FuzzRecoverer : public Engine {
public:
    std::size_t bytesSeen = 0;

protected:
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& pattern) override {
        const AttributesMapping* mapping = pattern.mappingForColumn(column);
        if (!mapping) return;
        this->markCurrentMapped();
        if (const auto text = object.toText()) bytesSeen += text->size();
    }
    std::int32_t verifyDataPosition(ByteView text) override {
        if (text.empty()) return AbstractSqLiteRecovery::kKeepPosition;
        const int pick = text[0] % 16;
        return pick < 13    ? pick - 6
               : pick == 13 ? 40
               : pick == 14 ? -40
                            : AbstractSqLiteRecovery::kKeepPosition;
    }
    void addRecoveredObject() override {
        if (this->currentRecord())
            bytesSeen += static_cast<std::size_t>(this->currentRecord()->RowId() & 1);
    }
};

// The fuzzed bytes as a file: one memory-backed file, rewritten for every input.
std::string FilePath(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("fuzz_carve.db", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = FilePath(data, size);
    for (const std::int32_t freeblockOffset : {0, 1}) {
        FuzzRecoverer<AbstractSqLiteRecovery> plain;
        plain.setTablePatterns(MessagePatterns());
        plain.setFreeblockStartOffset(freeblockOffset);
        plain.DoRecoveryPath(path);
    }
    FuzzRecoverer<AbstractSQLiteRecoveryFullSearch> whole;
    whole.setTablePatterns(MessagePatterns());
    whole.DoRecoveryPath(path);

    const StoredTables tables(path);
    for (const char* table : {"message", "handle", "chat"}) {
        if (!tables.hasTable(table)) continue;
        whole.bytesSeen += tables.rows(table).rows.size();
    }
    return 0;
}
