#pragma once
// Re-creating an output the previous job left behind.
//
// Opening an existing file with "wb" truncates it in place. On ext4 a file
// truncated to zero and written again is flushed to disk when it is closed,
// and the next truncation waits for that writing to end: re-running a job
// spent more time waiting for the disk than working. Removing the old file
// first and creating a new one gives the same bytes without the flush.
//
// Only plain files this process could truncate itself are removed: a single
// link, owned by our user and group, writable by us. Symbolic links, hard
// links and other people's files are left for "wb" to truncate as before, so
// that what the job can and cannot write does not change. Windows keeps the
// plain truncation.
#include <optional>
#include <string>

namespace isorelink::platform {

// Removes path when it is such a file; returns its permission bits for
// restore_output_mode(), or nothing when it was left alone.
std::optional<unsigned> remove_old_output(const std::string& path);

// Gives the newly created file the permission bits the old one had.
void restore_output_mode(const std::string& path, unsigned mode);

} // namespace isorelink::platform
