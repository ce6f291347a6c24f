#pragma once
// The CLI's promise about files beside the image: it never overwrites or
// deletes a file it did not write, unless told (--force), and a run that
// fails takes back what it wrote, unless told (--keep).
//
// A guard is made before a run with every file the run may create, truncate
// or delete. check() refuses, naming them, the files that exist and are not
// isorelink's own unchanged outputs. After the run, succeeded() records what
// it wrote; failed() removes (or, with keep, records) each file that the run
// created or replaced, and says which.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "tools/write_record.h"
#include "platform/file_identity.h"

namespace isorelink::host {

struct GuardOptions {
    bool force = false;  // overwrite files isorelink did not write
    bool keep = false;   // keep what a failed run wrote
};

class OutputGuard {
public:
    // folder: the image's folder prefix; outputs: every file the run may
    // create, truncate or delete there.
    OutputGuard(const std::string& folder, std::vector<std::string> outputs, GuardOptions options);

    // Before the run: refuses when an output exists that isorelink did not
    // write or that changed since (unless forced). message names them and
    // what to do; command prefixes it ("replace"). hint, when given, replaces
    // the line of what to do (a command without --force).
    Status check(std::string_view command, std::string_view hint = {}) const;

    // After a successful run: written are isorelink's now, deleted are gone.
    // With origins (one per written file), the files are recorded by their
    // stamps with where their bytes came from, instead of read back.
    void succeeded(const std::vector<std::string>& written, const std::vector<std::string>& deleted,
                   const std::vector<std::string>& origins = {});

    // After a failed run: removes each output the run created or replaced
    // (keeps and records them with keep); returns a line saying which, or ""
    // when the run wrote nothing.
    std::string failed();

    const WriteRecord& record() const { return record_; }

private:
    struct Before {
        std::string path;
        bool existed = false;
        std::optional<platform::FileIdentity> identity;
        WrittenFile state;
        bool was_ours = false;
    };
    std::vector<std::string> touched();

    WriteRecord record_;
    std::vector<Before> before_;
    GuardOptions options_;
};

// "a, b and c"
std::string join_names(const std::vector<std::string>& names);

} // namespace isorelink::host
