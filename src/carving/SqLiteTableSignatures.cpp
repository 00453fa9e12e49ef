#include "carving/SqLiteTableSignatures.h"

#include "carving/SqLiteTableSignaturesParser.h"
#include "common/AppPaths.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

namespace {
// A signature file is a few hundred kilobytes; anything far larger is not one.
constexpr std::streamoff kMaxSignatureFileSize = 64 * 1024 * 1024;

// The parser fills a catalogue it shares; hand it this one without giving up ownership.
std::shared_ptr<SqLiteTableSignatures> Borrow(SqLiteTableSignatures& catalogue) {
    return std::shared_ptr<SqLiteTableSignatures>(&catalogue, [](SqLiteTableSignatures*) {});
}
}  // namespace

std::string SqLiteTableSignatures::ResourcePath() {
    return AppPaths::resourcesDirectory() + "/" + std::string(kResourceFileName);
}

void SqLiteTableSignatures::loadSignatures() {
    bool done = false;
    if (connected()) done = LoadRemoteSignaturesFile();
    if (!done) LoadLocalSignaturesFile();
    loaded_ = true;
}

void SqLiteTableSignatures::LoadLocalSignaturesFile() { LoadSignaturesFile(ResourcePath()); }

bool SqLiteTableSignatures::LoadSignaturesFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "Recovery signatures: cannot read " << path << "\n";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxSignatureFileSize) {
        std::cerr << "Recovery signatures: " << path << " is not a signature file (size)\n";
        return false;
    }
    in.seekg(0);
    std::string document(static_cast<std::size_t>(size), '\0');
    if (!in.read(document.data(), size)) {
        std::cerr << "Recovery signatures: cannot read " << path << "\n";
        return false;
    }
    SqLiteTableSignaturesParser parser(document);
    parser.setSqLiteTableSignatures(Borrow(*this));
    if (!parser.parseTableSignatures()) {
        std::cerr << "Recovery signatures: " << path << ": " << parser.errorMessage() << "\n";
        return false;
    }
    return true;
}

bool SqLiteTableSignatures::LoadSignaturesDocument(std::string_view document) {
    SqLiteTableSignaturesParser parser(document);
    parser.setSqLiteTableSignatures(Borrow(*this));
    return parser.parseTableSignatures();
}

const SQLiteSignature* SqLiteTableSignatures::Find(std::string_view name, std::string_view db,
                                                   std::string_view table) const {
    for (const auto& signature : tableSignatures_) {
        if (signature.Name() && signature.Database() && signature.Table() && *signature.Name() == name &&
            *signature.Database() == db && *signature.Table() == table)
            return &signature;
    }
    return nullptr;
}
