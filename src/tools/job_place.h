#pragma once
// Where the module's jobs run for a command. The jobs read the image F N and
// write their products beside it as F N-LSN.TXT, F NEW-N ...; to write them
// in another folder (--out DIR, so that the image's folder may be read-only)
// the job runs in DIR on a symbolic link named N that points at the image (a
// hard link where symbolic ones are not allowed).
// The link is removed when the place is; a file of that name in DIR that is
// not the image is refused, never replaced.
#include <optional>
#include <string>

#include "common/result.h"

namespace isorelink::host {

class JobPlace {
public:
    // The jobs' folder prefix and image name for image_path with outputs in
    // out_folder ("" for beside the image; created when missing). Without
    // need_image a missing image is no error (the rebuild reads only its
    // own files).
    static Expected<JobPlace> at(const std::string& image_path, const std::string& out_folder,
                                 bool need_image = true);
    // A new private temporary folder, removed with everything in it when the
    // place is: for a run whose products nobody keeps (replace --dry-run).
    static Expected<JobPlace> temporary(const std::string& image_path);

    JobPlace(JobPlace&& other) noexcept;
    JobPlace& operator=(JobPlace&&) = delete;
    JobPlace(const JobPlace&) = delete;
    JobPlace& operator=(const JobPlace&) = delete;
    ~JobPlace();

    const std::string& folder() const { return folder_; }  // with its trailing separator, or ""
    const std::string& name() const { return name_; }
    // Beside the image (no link, no temporary folder).
    bool beside_image() const { return link_.empty() && temporary_.empty(); }

private:
    JobPlace() = default;
    std::string folder_;
    std::string name_;
    std::string link_;       // the link this place made, removed at the end
    std::string temporary_;  // the temporary folder, removed at the end
};

} // namespace isorelink::host
