#pragma once

#include "carving/SQLiteSignature.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The catalogue of table signatures read from the recovery signature file. Filled once at start-up
// on the loading thread and only read afterwards (the shared state record holds it as const), so
// carving threads may look signatures up at the same time without a lock.
class SqLiteTableSignatures {
public:
    // The file name of the signature resource.
    static constexpr std::string_view kResourceFileName = "RecoverySignatures.xml";

    SqLiteTableSignatures() = default;

    // Fills the catalogue: from the remote source when it is reachable and gives a catalogue
    // (there is no remote source to load from), else from the resource file. Marks the
    // catalogue loaded whatever the outcome; problem() says whether it can be used.
    void loadSignatures();
    // Whether the remote signature source can be reached now (Reachability::IsReachable of its
    // location); false while no location is set, as in the shipped program.
    bool connected() const;
    void setRemoteSignaturesLocation(std::string location) {
        remoteSignaturesLocation_ = std::move(location);
    }
    const std::string& remoteSignaturesLocation() const { return remoteSignaturesLocation_; }
    // The place for a remote signature source; there is none.
    bool LoadRemoteSignaturesFile() { return false; }
    // Reads the resource file from the application's resources folder.
    void LoadLocalSignaturesFile();
    // Reads a signature file; false (with a line on stderr, and problem() set) when it is
    // missing, not a regular file, too large, not well-formed XML or holds no signature.
    // A file that is not well-formed to its end (cut short, say) adds no signature at all.
    bool LoadSignaturesFile(const std::string& path);
    // Reads a signature document from memory; false, adding no signature, when it is not
    // well-formed XML.
    bool LoadSignaturesDocument(std::string_view document);

    // The first signature whose triple equals the arguments exactly (case-sensitive), or nullptr.
    // The catalogue keeps ownership.
    const SQLiteSignature* Find(std::string_view name, std::string_view db,
                                std::string_view table) const;

    const std::vector<SQLiteSignature>& tableSignatures() const { return tableSignatures_; }
    std::vector<SQLiteSignature>& tableSignatures() { return tableSignatures_; }
    bool loaded() const { return loaded_; }
    // Why the catalogue cannot serve carving ("<path> is not a regular file", "<path> holds no
    // recovery signatures", ...); none when it can.
    const std::optional<std::string>& problem() const { return problem_; }

    // The resource file's full path.
    static std::string ResourcePath();

private:
    // Parses the document into the catalogue, which it leaves as it was when the document
    // breaks off; error (when given) then says why.
    bool LoadWholeDocument(std::string_view document, std::string* error);

    std::vector<SQLiteSignature> tableSignatures_;
    bool loaded_ = false;
    std::optional<std::string> problem_;
    std::string remoteSignaturesLocation_;
};
