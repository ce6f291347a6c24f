#pragma once
// Work shared among a few threads, for the jobs bound by one core rather
// than by the disk: unpack's copies (the kernel's memory copies and page
// cache work) and replace --from's look at every file of a folder (system
// calls). Each worker takes the next item from a shared counter; the calling
// thread is worker 0, so a job's progress stays on the thread that reports it.
#include <functional>

namespace isorelink::platform {

// At most `most` workers, no more than the machine has cores, at least one.
unsigned worker_count(unsigned most);

// Calls body(worker) once for each worker in [0, workers), worker 0 on this
// thread, and returns when every call has. A thread that cannot be started
// leaves its share to the others. body must not throw.
void run_workers(unsigned workers, const std::function<void(unsigned worker)>& body);

} // namespace isorelink::platform
