#include "carving/SqLiteTableSignatures.h"

#include "carving/SqLiteTableSignaturesParser.h"
#include "common/AppPaths.h"
#include "common/Reachability.h"

#include <iostream>
#include <memory>

namespace {
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

bool SqLiteTableSignatures::connected() const {
    return !remoteSignaturesLocation_.empty() &&
           Reachability::IsReachable(remoteSignaturesLocation_);
}

void SqLiteTableSignatures::LoadLocalSignaturesFile() { LoadSignaturesFile(ResourcePath()); }

bool SqLiteTableSignatures::LoadSignaturesFile(const std::string& path) {
    const auto fail = [&](const std::string& why) {
        problem_ = path + " " + why;
        std::cerr << "Recovery signatures: " << *problem_ << "\n";
        return false;
    };
    std::string why;
    const auto document = SqLiteTableSignaturesParser::ReadDocument(path, &why);
    if (!document) return fail(why);
    const std::size_t before = tableSignatures_.size();
    std::string error;
    if (!LoadWholeDocument(*document, &error))
        return fail("is not a well-formed signature file: " + error);
    if (tableSignatures_.size() == before) return fail("holds no recovery signatures");
    problem_.reset();
    return true;
}

bool SqLiteTableSignatures::LoadSignaturesDocument(std::string_view document) {
    return LoadWholeDocument(document, nullptr);
}

bool SqLiteTableSignatures::LoadWholeDocument(std::string_view document, std::string* error) {
    // A document cut short (or broken part-way) would leave the signatures before the break:
    // carving would then search some data types and silently pass over the rest. It is taken
    // whole or not at all.
    std::vector<SQLiteSignature> before = tableSignatures_;
    SqLiteTableSignaturesParser parser(document);
    parser.setSqLiteTableSignatures(Borrow(*this));
    if (parser.parseTableSignatures()) return true;
    tableSignatures_ = std::move(before);
    if (error) *error = parser.errorMessage();
    return false;
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
